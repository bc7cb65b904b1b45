#include "platform/LargeHeapPages.h"
#include "tests/support/Sanitizers.h"

#include <QByteArray>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t reserve = std::size_t(256) << 20;

enum Outcome {
    Reserved = 0,
    NotReserved,
    HeapGrewAgain,
    NotInOneMapping,
    NotMarkedForHugePages,
    HandedBack,
    SmallReservationTaken,
};

bool hugePagesOnRequest()
{
    QFile mode(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
    return mode.open(QIODevice::ReadOnly) && !mode.readAll().contains("[never]");
}

// The smaps entry of the mapping holding address, or empty.
QByteArray mappingOf(std::uintptr_t address)
{
    QFile maps(QStringLiteral("/proc/self/smaps"));
    if (!maps.open(QIODevice::ReadOnly))
        return {};
    QByteArray entry;
    bool holds = false;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        // A mapping's first line starts with its address range; the lines
        // after it start with a field name and a colon.
        const int dash = line.indexOf('-');
        const int space = line.indexOf(' ');
        if (dash > 0 && space > dash) {
            if (holds)
                return entry;
            bool ok = false;
            const std::uintptr_t start = line.left(dash).toULongLong(&ok, 16);
            const std::uintptr_t end = line.mid(dash + 1, space - dash - 1).toULongLong(nullptr, 16);
            holds = ok && start <= address && address < end;
            entry = line + '\n';
        } else if (holds) {
            entry += line + '\n';
        }
    }
    return holds ? entry : QByteArray();
}

// In a child process, which owns its heap alone.
Outcome reserveAndFill()
{
    if (useLargeHeapPages(std::size_t(1) << 20))
        return SmallReservationTaken;
    if (!useLargeHeapPages(reserve))
        return NotReserved;
    const std::uintptr_t reservedBreak = reinterpret_cast<std::uintptr_t>(sbrk(0));
    // A large library's records: many small blocks, 64 MB in all.
    std::vector<void *> blocks;
    for (int i = 0; i < 65536; ++i) {
        blocks.push_back(std::malloc(1000));
        std::memset(blocks.back(), 1, 1000);
    }
    if (reinterpret_cast<std::uintptr_t>(sbrk(0)) != reservedBreak)
        return HeapGrewAgain;
    const QByteArray mapping = mappingOf(reinterpret_cast<std::uintptr_t>(blocks[blocks.size() / 2]));
    if (!mapping.contains("[heap]"))
        return NotInOneMapping;
    // "hg": the mapping was asked to be backed by huge pages.
    const int flags = mapping.indexOf("VmFlags:");
    if (hugePagesOnRequest() && (flags < 0 || !mapping.mid(flags).contains(" hg")))
        return NotMarkedForHugePages;
    for (void *block : blocks)
        std::free(block);
    if (reinterpret_cast<std::uintptr_t>(sbrk(0)) != reservedBreak)
        return HandedBack;
    return Reserved;
}

TEST(LargeHeapPagesTest, TheHeapIsReservedOnceInHugePagesAndKeptAsSmallBlocksComeAndGo)
{
    if (underAddressSanitizer)
        GTEST_SKIP() << "the sanitizer's allocator keeps no heap of glibc's";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(reserveAndFill());
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    switch (WEXITSTATUS(status)) {
    case Reserved: break;
    case NotReserved: FAIL() << "the heap was not grown by the reservation"; break;
    case HeapGrewAgain: FAIL() << "64 MB of small blocks did not fit the 256 MB reserved"; break;
    case NotInOneMapping: FAIL() << "the blocks are not in the heap's mapping"; break;
    case NotMarkedForHugePages: FAIL() << "the kernel offers huge pages on request, but the heap was not marked"; break;
    case HandedBack: FAIL() << "freeing the blocks handed the reserved top back"; break;
    case SmallReservationTaken: FAIL() << "a reservation smaller than one huge page was taken"; break;
    default: FAIL() << "unexpected exit status " << WEXITSTATUS(status);
    }
}

} // namespace
