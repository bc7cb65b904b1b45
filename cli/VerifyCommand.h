#pragma once

#include "library/ShareVerifier.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdio>

class OrvanaSyncAppDelegate;

// orvanasync-cli verify: checks the share the delegate's settings name
// (ShareVerification) and prints one tab-separated line per finding as it
// is made, then the summary, or one JSON document with --json. The exit
// status is 0 when the share is consistent, 1 when it is not, 2 when it
// could not be checked.
class VerifyCommand {
public:
    VerifyCommand(OrvanaSyncAppDelegate &delegate, FILE *out, FILE *err);

    // Whether the tracks of the delegate's loaded library are looked for.
    void setComparesWithSource(bool value) { m_comparesWithSource = value; }
    // The error line for a share that could not be mounted.
    void setMountFailureMessage(const QString &message) { m_mountFailureMessage = message; }

    // Runs the check to its end; quiet leaves out the summary.
    int run(bool json, bool quiet);

    // The finding as one line: its kind's name, then its values, separated
    // by tabs and escaped like the playlist listing.
    static QByteArray findingLine(const ShareVerifier::Finding &finding);
    // The finding as an object: "kind" and one member per value.
    static QJsonObject findingObject(const ShareVerifier::Finding &finding);

private:
    void printError(const QString &message);

    OrvanaSyncAppDelegate &m_delegate;
    FILE *m_out;
    FILE *m_err;
    bool m_comparesWithSource = false;
    QString m_mountFailureMessage;
};
