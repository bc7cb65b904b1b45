#include "secrets/SecretServiceKeyring.h"

#include <QByteArray>
#include <QFile>

// GLib declares members named like Qt's "signals" keyword.
#undef signals
#include <libsecret/secret.h>

#include <memory>
#include <sys/stat.h>

const char *const SecretServiceKeyring::schemaName = "org.orvanasync.SharePassword";

namespace {

const char *const secretsBusName = "org.freedesktop.secrets";

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

struct GVariantUnref {
    void operator()(GVariant *value) const { g_variant_unref(value); }
};
using GVariantPtr = std::unique_ptr<GVariant, GVariantUnref>;

const SecretSchema *passwordSchema()
{
    static const SecretSchema schema = [] {
        SecretSchema made{};
        made.name = SecretServiceKeyring::schemaName;
        made.flags = SECRET_SCHEMA_NONE;
        made.attributes[0] = {"server", SECRET_SCHEMA_ATTRIBUTE_STRING};
        made.attributes[1] = {"user", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return made;
    }();
    return &schema;
}

// One exchange's state. It lives on the heap: when the time is over and the
// cancelled exchange still has not answered, the late callback frees it.
struct Exchange {
    GMainLoop *loop = nullptr;
    GAsyncResult *result = nullptr;
    bool abandoned = false;
};

void onExchangeFinished(GObject *, GAsyncResult *result, gpointer data)
{
    auto *exchange = static_cast<Exchange *>(data);
    if (exchange->abandoned) {
        delete exchange;
        return;
    }
    exchange->result = G_ASYNC_RESULT(g_object_ref(result));
    g_main_loop_quit(exchange->loop);
}

gboolean onExchangeTimeout(gpointer data)
{
    g_main_loop_quit(static_cast<GMainLoop *>(data));
    return G_SOURCE_REMOVE;
}

// Starts an asynchronous GIO call on a private main context and runs that
// context until the call answers or timeoutMs pass; the call is cancelled
// then. Answers the result, or null when there was none in time.
template <typename Start>
GObjectPtr<GAsyncResult> runExchange(int timeoutMs, Start start)
{
    GMainContext *context = g_main_context_new();
    g_main_context_push_thread_default(context);
    auto *exchange = new Exchange;
    exchange->loop = g_main_loop_new(context, FALSE);
    GObjectPtr<GCancellable> cancellable(g_cancellable_new());
    start(cancellable.get(), &onExchangeFinished, exchange);

    const auto runUntilAnsweredOr = [&](int waitMs) {
        GSource *timeout = g_timeout_source_new(guint(waitMs));
        g_source_set_callback(timeout, &onExchangeTimeout, exchange->loop, nullptr);
        g_source_attach(timeout, context);
        if (!exchange->result)
            g_main_loop_run(exchange->loop);
        g_source_destroy(timeout);
        g_source_unref(timeout);
    };
    runUntilAnsweredOr(timeoutMs);
    if (!exchange->result) {
        // A cancelled GIO call still answers, at once as a rule.
        g_cancellable_cancel(cancellable.get());
        runUntilAnsweredOr(1000);
    }
    GObjectPtr<GAsyncResult> result(exchange->result);
    g_main_loop_unref(exchange->loop);
    if (result)
        delete exchange;
    else
        exchange->abandoned = true;
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    return result;
}

QString timedOutReason(int timeoutMs)
{
    return QStringLiteral("the Secret Service did not answer within %1 seconds").arg(timeoutMs / 1000);
}

QString messageOf(const GErrorPtr &error)
{
    return error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
}

PasswordKeyring::Answer failure(const GErrorPtr &error)
{
    // The service went away since it was looked for.
    if (error && g_error_matches(error.get(), G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN))
        return {PasswordKeyring::Outcome::NoService, QString(), messageOf(error)};
    return {PasswordKeyring::Outcome::Failed, QString(), messageOf(error)};
}

// The session bus as GLib would find it, without its last resort of
// autolaunching one (which can start daemons or wait for an X display).
bool sessionBusConfigured()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return false;
    struct stat info {};
    const QByteArray socket = runtime + "/bus";
    return ::stat(socket.constData(), &info) == 0 && S_ISSOCK(info.st_mode);
}

} // namespace

SecretServiceKeyring::SecretServiceKeyring(int timeoutMs) : m_timeoutMs(timeoutMs) {}

QString SecretServiceKeyring::unavailableReason()
{
    if (m_unavailableReason)
        return *m_unavailableReason;
    m_unavailableReason = [this]() -> QString {
        if (!sessionBusConfigured())
            return QStringLiteral("there is no D-Bus session bus");
        GObjectPtr<GAsyncResult> connected = runExchange(m_timeoutMs, [](GCancellable *cancellable,
                                                                          GAsyncReadyCallback done, gpointer data) {
            g_bus_get(G_BUS_TYPE_SESSION, cancellable, done, data);
        });
        if (!connected)
            return QStringLiteral("the D-Bus session bus did not answer");
        GError *rawError = nullptr;
        GObjectPtr<GDBusConnection> bus(g_bus_get_finish(connected.get(), &rawError));
        GErrorPtr error(rawError);
        if (!bus)
            return QStringLiteral("the D-Bus session bus cannot be reached: ") + messageOf(error);
        // The bus going away must not end the program (GLib's default for
        // this shared connection, which libsecret uses too).
        g_dbus_connection_set_exit_on_close(bus.get(), FALSE);

        // Running, or started by the bus on the first call (as desktops do).
        for (const char *method : {"NameHasOwner", "ListActivatableNames"}) {
            const bool byName = g_str_equal(method, "NameHasOwner");
            GObjectPtr<GAsyncResult> answered =
                runExchange(m_timeoutMs, [&](GCancellable *cancellable, GAsyncReadyCallback done, gpointer data) {
                    g_dbus_connection_call(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                           "org.freedesktop.DBus", method,
                                           byName ? g_variant_new("(s)", secretsBusName) : nullptr,
                                           byName ? G_VARIANT_TYPE("(b)") : G_VARIANT_TYPE("(as)"),
                                           G_DBUS_CALL_FLAGS_NONE, m_timeoutMs, cancellable, done, data);
                });
            if (!answered)
                return QStringLiteral("the D-Bus session bus did not answer");
            GVariantPtr reply(g_dbus_connection_call_finish(bus.get(), answered.get(), &rawError));
            error.reset(rawError);
            if (!reply)
                return QStringLiteral("the D-Bus session bus cannot be asked for a Secret Service: ") +
                       messageOf(error);
            if (byName) {
                gboolean owned = FALSE;
                g_variant_get(reply.get(), "(b)", &owned);
                if (owned)
                    return {};
            } else {
                GVariantPtr names(g_variant_get_child_value(reply.get(), 0));
                gsize count = 0;
                const gchar **list = g_variant_get_strv(names.get(), &count);
                bool activatable = false;
                for (gsize i = 0; i < count; ++i)
                    activatable = activatable || g_str_equal(list[i], secretsBusName);
                g_free(list);
                if (activatable)
                    return {};
            }
        }
        return QStringLiteral("no Secret Service (GNOME Keyring, KWallet) runs on the D-Bus session bus");
    }();
    return *m_unavailableReason;
}

PasswordKeyring::Answer SecretServiceKeyring::lookup(const QString &server, const QString &user)
{
    if (const QString reason = unavailableReason(); !reason.isNull())
        return {Outcome::NoService, QString(), reason};
    const QByteArray serverText = server.toUtf8();
    const QByteArray userText = user.toUtf8();
    GObjectPtr<GAsyncResult> answered =
        runExchange(m_timeoutMs, [&](GCancellable *cancellable, GAsyncReadyCallback done, gpointer data) {
            secret_password_lookup(passwordSchema(), cancellable, done, data, "server", serverText.constData(), "user",
                                   userText.constData(), nullptr);
        });
    if (!answered)
        return {Outcome::Failed, QString(), timedOutReason(m_timeoutMs)};
    GError *rawError = nullptr;
    gchar *secret = secret_password_lookup_finish(answered.get(), &rawError);
    GErrorPtr error(rawError);
    if (error)
        return failure(error);
    if (!secret)
        return {Outcome::NotFound, QString(), QString()};
    Answer answer{Outcome::Done, QString::fromUtf8(secret), QString()};
    // Wiped before it is freed.
    secret_password_free(secret);
    return answer;
}

PasswordKeyring::Answer SecretServiceKeyring::store(const QString &server, const QString &user,
                                                    const QString &password)
{
    if (const QString reason = unavailableReason(); !reason.isNull())
        return {Outcome::NoService, QString(), reason};
    const QByteArray serverText = server.toUtf8();
    const QByteArray userText = user.toUtf8();
    const QByteArray label =
        QStringLiteral("OrvanaSync share password for %1 on %2")
            .arg(user.isEmpty() ? QStringLiteral("the guest") : user,
                 server.isEmpty() ? QStringLiteral("any server") : server)
            .toUtf8();
    QByteArray secret = password.toUtf8();
    GObjectPtr<GAsyncResult> answered =
        runExchange(m_timeoutMs, [&](GCancellable *cancellable, GAsyncReadyCallback done, gpointer data) {
            secret_password_store(passwordSchema(), SECRET_COLLECTION_DEFAULT, label.constData(), secret.constData(),
                                  cancellable, done, data, "server", serverText.constData(), "user",
                                  userText.constData(), nullptr);
        });
    secret.fill('\0');
    if (!answered)
        return {Outcome::Failed, QString(), timedOutReason(m_timeoutMs)};
    GError *rawError = nullptr;
    const bool stored = secret_password_store_finish(answered.get(), &rawError);
    GErrorPtr error(rawError);
    if (!stored)
        return failure(error);
    return {Outcome::Done, QString(), QString()};
}

PasswordKeyring::Answer SecretServiceKeyring::clear(const QString &server, const QString &user)
{
    if (const QString reason = unavailableReason(); !reason.isNull())
        return {Outcome::NoService, QString(), reason};
    const QByteArray serverText = server.toUtf8();
    const QByteArray userText = user.toUtf8();
    GObjectPtr<GAsyncResult> answered =
        runExchange(m_timeoutMs, [&](GCancellable *cancellable, GAsyncReadyCallback done, gpointer data) {
            secret_password_clear(passwordSchema(), cancellable, done, data, "server", serverText.constData(), "user",
                                  userText.constData(), nullptr);
        });
    if (!answered)
        return {Outcome::Failed, QString(), timedOutReason(m_timeoutMs)};
    GError *rawError = nullptr;
    secret_password_clear_finish(answered.get(), &rawError);
    GErrorPtr error(rawError);
    // No error and false: there was nothing to remove.
    if (error)
        return failure(error);
    return {Outcome::Done, QString(), QString()};
}
