#include "tools/simulator/HttpRequestReader.h"

QByteArray HttpRequest::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return QByteArray();
}

bool HttpRequest::wantsClose() const
{
    return header("Connection").compare("close", Qt::CaseInsensitive) == 0;
}

void HttpRequestReader::append(const QByteArray &bytes)
{
    buffer.append(bytes);
}

HttpRequestReader::State HttpRequestReader::next(HttpRequest *request)
{
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return buffer.size() > maximumHeaderBytes ? State::TooLarge : State::NeedMore;
    if (headerEnd > maximumHeaderBytes)
        return State::TooLarge;

    HttpRequest parsed;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1."))
        return State::Malformed;
    parsed.method = requestLine.at(0);
    parsed.path = requestLine.at(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return State::Malformed;
        parsed.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    if (!parsed.header("Transfer-Encoding").isNull())
        return State::Malformed;

    qint64 length = 0;
    const QByteArray lengthText = parsed.header("Content-Length");
    if (!lengthText.isNull()) {
        bool ok = false;
        length = lengthText.toLongLong(&ok);
        if (!ok || length < 0)
            return State::Malformed;
        if (length > maximumBodyBytes)
            return State::TooLarge;
    }
    const qsizetype bodyStart = headerEnd + 4;
    if (buffer.size() - bodyStart < length)
        return State::NeedMore;
    parsed.body = buffer.mid(bodyStart, length);
    buffer.remove(0, bodyStart + length);
    *request = std::move(parsed);
    return State::Complete;
}
