#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// One HTTP/1.1 request as received.
struct HttpRequest
{
    QByteArray method;
    QByteArray path;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // The value of the first header with this name (any letter case), or a null array.
    QByteArray header(const QByteArray &name) const;
    bool wantsClose() const;
};

// Collects the bytes of one connection and cuts them into requests. Bodies
// are delimited by Content-Length; chunked bodies are refused.
class HttpRequestReader
{
public:
    enum class State { NeedMore, Complete, Malformed, TooLarge };

    static constexpr qsizetype maximumHeaderBytes = 64 * 1024;
    static constexpr qsizetype maximumBodyBytes = 16 * 1024 * 1024;

    void append(const QByteArray &bytes);
    // Complete: *request holds the next request and its bytes are consumed.
    State next(HttpRequest *request);

private:
    QByteArray buffer;
};
