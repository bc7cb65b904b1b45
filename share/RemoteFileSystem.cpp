#include "share/RemoteFileSystem.h"

#include <sys/vfs.h>

bool isRemoteFileSystem(const QString &path)
{
    struct statfs info;
    if (::statfs(path.toUtf8().constData(), &info) != 0)
        return false;
    constexpr unsigned long fuse = 0x65735546, smb = 0x517b, smb2 = 0xfe534d42, cifs = 0xff534d42, nfs = 0x6969;
    switch (static_cast<unsigned long>(info.f_type) & 0xffffffffUL) {
    case fuse:
    case smb:
    case smb2:
    case cifs:
    case nfs:
        return true;
    default:
        return false;
    }
}
