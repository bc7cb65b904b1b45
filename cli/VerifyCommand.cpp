#include "cli/VerifyCommand.h"

#include "app/ShareVerification.h"
#include "cli/TsvField.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>

VerifyCommand::VerifyCommand(OrvanaSyncAppDelegate &delegate, FILE *out, FILE *err)
    : m_delegate(delegate), m_out(out), m_err(err)
{
}

QByteArray VerifyCommand::findingLine(const ShareVerifier::Finding &finding)
{
    QByteArray line = ShareVerifier::kindName(finding.kind).toUtf8();
    for (const QString &value : finding.values)
        line += '\t' + tsvField(value);
    return line + '\n';
}

QJsonObject VerifyCommand::findingObject(const ShareVerifier::Finding &finding)
{
    QJsonObject object{{QStringLiteral("kind"), ShareVerifier::kindName(finding.kind)}};
    const QStringList columns = ShareVerifier::columns(finding.kind);
    for (qsizetype index = 0; index < columns.size(); ++index)
        object.insert(columns.at(index), finding.values.value(index));
    return object;
}

void VerifyCommand::printError(const QString &message)
{
    std::fprintf(m_err, "orvanasync-cli: %s\n", message.toLocal8Bit().constData());
    std::fflush(m_err);
}

int VerifyCommand::run(bool json, bool quiet)
{
    ShareVerification verification(m_delegate);
    verification.setComparesWithLibrary(m_comparesWithSource);
    QJsonArray findings;
    QObject::connect(&verification, &ShareVerification::findingReported, &verification,
                     [&](const ShareVerifier::Finding &finding) {
                         if (json) {
                             findings.append(findingObject(finding));
                             return;
                         }
                         const QByteArray line = findingLine(finding);
                         std::fwrite(line.constData(), 1, size_t(line.size()), m_out);
                         std::fflush(m_out);
                     });
    QEventLoop loop;
    QObject::connect(&verification, &ShareVerification::finished, &loop, &QEventLoop::quit);
    verification.start();
    if (verification.running())
        loop.exec();

    for (const QString &warning : verification.warnings())
        printError(QStringLiteral("warning: ") + warning);
    const int status = verification.outcome();
    if (status == ShareVerification::CouldNotCheck) {
        if (verification.mountFailed() && !m_mountFailureMessage.isNull())
            printError(m_mountFailureMessage);
        else if (verification.libraryId().isEmpty())
            printError(QStringLiteral("no library identifier: give --library-id ID (the name of the library file in "
                                      "the share's Library folder), or store it with orvanasync-cli config set "
                                      "iTunesGUID ID"));
        else
            printError(QStringLiteral("the share could not be verified: %1").arg(verification.failure()));
    }
    const QStringList summary = status == ShareVerification::CouldNotCheck ? QStringList() : verification.summaryLines();
    if (json) {
        const ShareVerifier::Counts &counts = verification.counts();
        QJsonObject report{
            {QStringLiteral("libraryId"), verification.libraryId()},
            {QStringLiteral("share"), verification.shareRoot()},
            {QStringLiteral("findings"), findings},
            {QStringLiteral("checked"),
             QJsonObject{{QStringLiteral("songs"), counts.songs},
                         {QStringLiteral("albumCovers"), counts.albumCovers},
                         {QStringLiteral("playlists"), counts.playlists},
                         {QStringLiteral("playlistEntries"), counts.playlistEntries},
                         {QStringLiteral("files"), counts.filesOnShare},
                         {QStringLiteral("sourceTracks"), counts.expectedTracks}}},
            {QStringLiteral("warnings"), QJsonArray::fromStringList(verification.warnings())},
            {QStringLiteral("summary"), QJsonArray::fromStringList(summary)},
            {QStringLiteral("exitStatus"), status},
        };
        if (status == ShareVerification::CouldNotCheck)
            report.insert(QStringLiteral("error"), verification.failure());
        const QByteArray text = QJsonDocument(report).toJson(QJsonDocument::Indented);
        std::fwrite(text.constData(), 1, size_t(text.size()), m_out);
    } else if (!quiet) {
        for (const QString &line : summary) {
            const QByteArray bytes = line.toUtf8() + '\n';
            std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
        }
    }
    std::fflush(m_out);
    return status;
}
