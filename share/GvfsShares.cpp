#include "share/GvfsShares.h"

#include <QByteArray>
#include <QFileInfo>
#include <QUrl>

// GIO declares a member named like Qt's "signals" keyword.
#undef signals
#include <gio/gio.h>

#include <memory>
#include <sys/stat.h>
#include <thread>

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
    void operator()(GError *error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<char, GFree>;

struct MainContextOwner {
    GMainContext *context = g_main_context_new();
    MainContextOwner() { g_main_context_push_thread_default(context); }
    ~MainContextOwner()
    {
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }
    MainContextOwner(const MainContextOwner &) = delete;
    MainContextOwner &operator=(const MainContextOwner &) = delete;
};

struct MountState {
    QByteArray userName;
    QByteArray password;
    int passwordRequests = 0;
    bool finished = false;
    GErrorPtr error;
    GMainLoop *loop = nullptr;
};

void onAskPassword(GMountOperation *operation, gchar *, gchar *, gchar *, GAskPasswordFlags, gpointer data)
{
    auto *state = static_cast<MountState *>(data);
    if (++state->passwordRequests > 1) {
        // The credentials were refused once; asking again would loop.
        g_mount_operation_reply(operation, G_MOUNT_OPERATION_ABORTED);
        return;
    }
    g_mount_operation_set_anonymous(operation, FALSE);
    g_mount_operation_set_username(operation, state->userName.constData());
    g_mount_operation_set_password(operation, state->password.constData());
    g_mount_operation_set_password_save(operation, G_PASSWORD_SAVE_NEVER);
    g_mount_operation_reply(operation, G_MOUNT_OPERATION_HANDLED);
}

void onAskQuestion(GMountOperation *operation, gchar *, GStrv, gpointer)
{
    g_mount_operation_reply(operation, G_MOUNT_OPERATION_ABORTED);
}

void onMounted(GObject *source, GAsyncResult *result, gpointer data)
{
    auto *state = static_cast<MountState *>(data);
    GError *error = nullptr;
    if (!g_file_mount_enclosing_volume_finish(G_FILE(source), result, &error))
        state->error.reset(error);
    state->finished = true;
    g_main_loop_quit(state->loop);
}

gboolean onTimeout(gpointer cancellable)
{
    g_cancellable_cancel(G_CANCELLABLE(cancellable));
    return G_SOURCE_REMOVE;
}

QString localPathOfMount(GFile *location, QString *reason)
{
    GError *rawError = nullptr;
    GObjectPtr<GMount> mount(g_file_find_enclosing_mount(location, nullptr, &rawError));
    GErrorPtr error(rawError);
    if (!mount) {
        *reason = QStringLiteral("the mounted share cannot be found: ") +
                  QString::fromUtf8(error ? error->message : "unknown error");
        return {};
    }
    GObjectPtr<GFile> root(g_mount_get_root(mount.get()));
    GCharPtr path(g_file_get_path(root.get()));
    if (!path) {
        *reason = QStringLiteral("the share has no local path (is gvfs-fuse installed?)");
        return {};
    }
    return QString::fromUtf8(path.get());
}

} // namespace

bool GvfsShares::sessionBusAvailable()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

bool GvfsShares::waitForFolder(const QString &path, std::chrono::milliseconds limit)
{
    const QByteArray name = path.toUtf8();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        struct stat info;
        if (::stat(name.constData(), &info) == 0 && S_ISDIR(info.st_mode))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

QString GvfsShares::shareNameOfUri(const QString &uri)
{
    const QUrl url(uri);
    if (!url.isValid() || url.scheme().compare(QLatin1String("smb"), Qt::CaseInsensitive) != 0)
        return {};
    const QStringList parts = url.path(QUrl::FullyDecoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return {};
    return parts.first();
}

QList<MountedVolume> GvfsShares::mountedShares()
{
    QList<MountedVolume> shares;
    if (!sessionBusAvailable())
        return shares;
    // A fresh monitor each time: the shared one is only brought up to date
    // by its main context, which may not have run since the last mount.
    GObjectPtr<GVolumeMonitor> monitor(g_volume_monitor_get());
    GList *mounts = g_volume_monitor_get_mounts(monitor.get());
    for (GList *item = mounts; item; item = item->next) {
        GObjectPtr<GMount> mount(G_MOUNT(item->data));
        GObjectPtr<GFile> root(g_mount_get_root(mount.get()));
        GCharPtr uri(g_file_get_uri(root.get()));
        const QString share = shareNameOfUri(QString::fromUtf8(uri.get()));
        if (share.isNull())
            continue;
        GCharPtr path(g_file_get_path(root.get()));
        shares.append({share, path ? QString::fromUtf8(path.get()) : QString()});
    }
    g_list_free(mounts);
    return shares;
}

MountOutcome GvfsShares::mount(const MountRequest &request, int timeoutSeconds)
{
    MountOutcome outcome;
    if (!sessionBusAvailable()) {
        outcome.status = -2;
        outcome.reason = QStringLiteral("no session bus: GVfs cannot be reached");
        return outcome;
    }
    // A private main context, run here until GIO answers: the caller is
    // blocked for the length of the mount, as the sync run expects.
    MainContextOwner contextOwner;
    GObjectPtr<GFile> location(g_file_new_for_uri(request.shareUrl.toUtf8().constData()));
    GObjectPtr<GMountOperation> operation(g_mount_operation_new());
    GObjectPtr<GCancellable> cancellable(g_cancellable_new());
    MountState state;
    state.userName = request.userName.toUtf8();
    state.password = request.password.toUtf8();
    state.loop = g_main_loop_new(contextOwner.context, FALSE);
    g_signal_connect(operation.get(), "ask-password", G_CALLBACK(onAskPassword), &state);
    g_signal_connect(operation.get(), "ask-question", G_CALLBACK(onAskQuestion), &state);

    GSource *timeout = g_timeout_source_new_seconds(guint(timeoutSeconds));
    g_source_set_callback(timeout, onTimeout, cancellable.get(), nullptr);
    g_source_attach(timeout, contextOwner.context);

    g_file_mount_enclosing_volume(location.get(), G_MOUNT_MOUNT_NONE, operation.get(), cancellable.get(), onMounted,
                                  &state);
    if (!state.finished)
        g_main_loop_run(state.loop);
    g_source_destroy(timeout);
    g_source_unref(timeout);
    g_main_loop_unref(state.loop);
    g_signal_handlers_disconnect_by_data(operation.get(), &state);
    state.password.fill('\0');

    if (state.error && !g_error_matches(state.error.get(), G_IO_ERROR, G_IO_ERROR_ALREADY_MOUNTED)) {
        outcome.status = state.error->code > 0 ? state.error->code : -1;
        outcome.reason = QString::fromUtf8(state.error->message);
        return outcome;
    }
    outcome.mountPoint = localPathOfMount(location.get(), &outcome.reason);
    if (!outcome.mountPoint.isEmpty() && !waitForFolder(outcome.mountPoint, std::chrono::seconds(10))) {
        outcome.reason = QStringLiteral("the mounted share's folder %1 did not appear").arg(outcome.mountPoint);
        outcome.mountPoint.clear();
    }
    outcome.status = outcome.mountPoint.isEmpty() ? -3 : 0;
    return outcome;
}
