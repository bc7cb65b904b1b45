#include "tools/simulator/SimulatorOptions.h"

#include <limits>

namespace {

bool readNumber(const QString &text, int minimum, int maximum, int *value)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < minimum || number > maximum)
        return false;
    *value = number;
    return true;
}

} // namespace

QString SimulatorOptions::usage()
{
    return QStringLiteral(
        "usage: orvana-simulator [options]\n"
        "  --port N            listen on 127.0.0.1:N (default %1, 0 picks a free port)\n"
        "  --log FILE          append one JSON line per request to FILE\n"
        "  --share DIR         on RefreshMediaCollectionByMediaType, check the library and artwork files in DIR\n"
        "  --fault             answer every operation with a SOAP fault\n"
        "  --http-error CODE   answer every request with HTTP status CODE\n"
        "  --garbage           answer every request with a body that is not XML\n"
        "  --delay MS          wait MS milliseconds before answering\n"
        "  --auth USER:PASS    require HTTP Basic authentication\n"
        "  --items N           items in every list of a result (default 2)\n"
        "  --log-bodies        also log each request body as received\n"
        "  --announce NAME     announce the server as NAME (\"_orvana_ws._tcp.\") through Avahi, on the\n"
        "                      loopback interface only, where the simulator listens\n")
        .arg(OVWSContract::port());
}

QString SimulatorOptions::parse(const QStringList &arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &option = arguments.at(i);
        if (option == u"--fault") {
            answerWithFault = true;
            continue;
        }
        if (option == u"--garbage") {
            answerWithGarbage = true;
            continue;
        }
        if (option == u"--log-bodies") {
            logBodies = true;
            continue;
        }
        if (i + 1 >= arguments.size())
            return QStringLiteral("unknown option or missing value: %1").arg(option);
        const QString value = arguments.at(++i);
        int number = 0;
        if (option == u"--port") {
            if (!readNumber(value, 0, std::numeric_limits<quint16>::max(), &number))
                return QStringLiteral("not a port number: %1").arg(value);
            port = quint16(number);
        } else if (option == u"--log") {
            logPath = value;
        } else if (option == u"--share") {
            shareDir = value;
        } else if (option == u"--http-error") {
            if (!readNumber(value, 100, 599, &httpErrorStatus))
                return QStringLiteral("not an HTTP status: %1").arg(value);
        } else if (option == u"--delay") {
            if (!readNumber(value, 0, 600000, &delayMs))
                return QStringLiteral("not a delay in milliseconds: %1").arg(value);
        } else if (option == u"--items") {
            if (!readNumber(value, 0, 100000, &listItems))
                return QStringLiteral("not an item count: %1").arg(value);
        } else if (option == u"--announce") {
            // A DNS-SD instance name is one DNS label: 1 to 63 bytes.
            const qsizetype length = value.toUtf8().size();
            if (length == 0 || length > 63)
                return QStringLiteral("--announce takes a name of 1 to 63 bytes");
            announceName = value;
        } else if (option == u"--auth") {
            const qsizetype colon = value.indexOf(u':');
            if (colon <= 0)
                return QStringLiteral("--auth takes USER:PASSWORD");
            requiredUser = value.left(colon);
            requiredPassword = value.mid(colon + 1);
        } else {
            return QStringLiteral("unknown option: %1").arg(option);
        }
    }
    return QString();
}
