#pragma once

#include "xml/ControlCharacterFilter.h"
#include "xml/XmlAttributes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <exception>
#include <memory>
#include <vector>

struct _xmlParserCtxt;
struct stat;

// libxml2's SAX2 push parser fed with a file, or bytes in memory, in chunks:
// never a tree, never the network, never an external DTD or entity. Events
// reach a Handler as UTF-8 views that are valid during the call only.
// Parsing stops at the first fatal error of libxml2 or when the handler
// calls stop(); failure() then tells what and where. An exception thrown by
// the handler stops parsing too and leaves readFile() or readBytes() once
// libxml2 has returned.
class XmlPushParser {
public:
    static constexpr qsizetype ChunkSize = 256 * 1024;
    // libxml2's own limit for documents it builds trees of.
    static constexpr int MaximumDepth = 256;

    enum class Entities {
        // Internal entities are expanded, within libxml2's default limits.
        ExpandInternal,
        // Declaring an entity, or referring to one other than the five
        // predefined ones, is an error.
        Refuse,
    };

    struct Options {
        Entities entities = Entities::Refuse;
        bool endTags = true;
        bool text = true;
        // Drop the control characters XML does not allow before parsing
        // (see ControlCharacterFilter) instead of failing at the first.
        bool dropControlCharacters = false;
        // For a large file and where there is a second processor, readFile()
        // has libxml2 parse on a helper thread while the handler takes the
        // events on the calling thread; the events, their lines and the
        // failures are the same.
        bool parseOnHelperThread = false;
    };
    // The smallest file parsed on a helper thread.
    static constexpr qint64 HelperThreadMinimumSize = 1024 * 1024;

    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void startElement(QByteArrayView localName, QByteArrayView prefix, const XmlAttributes &attributes) = 0;
        virtual void endElement() {}
        // Text may arrive in several pieces; whitespace between elements too.
        virtual void characters(QByteArrayView text) { (void)text; }
    };

    // Sees a file's bytes as readFile() reads them: its status once open,
    // then every piece in order, and endReached() only when the whole file
    // was read and parsed.
    class FileObserver {
    public:
        virtual ~FileObserver() = default;
        virtual void opened(const struct stat &info) = 0;
        virtual void bytesRead(QByteArrayView bytes) = 0;
        virtual void endReached() = 0;
    };

    struct Failure {
        int code = 0;        // libxml2's error code, 0 when the handler stopped
        int systemError = 0; // errno when the file could not be opened or read
        QString message;
        int line = 0;
        int column = 0;
    };

    XmlPushParser(Handler &handler, Options options);
    ~XmlPushParser();
    XmlPushParser(const XmlPushParser &) = delete;
    XmlPushParser &operator=(const XmlPushParser &) = delete;

    // False with failure() set when the file cannot be read or the document
    // is not well-formed, or the handler stopped.
    bool readFile(const QString &path, FileObserver *observer = nullptr);
    bool readBytes(const char *data, qsizetype size);

    // From a handler call: ends parsing with this failure at the current line.
    void stop(const QString &message);
    bool stopped() const { return m_failed; }
    const Failure &failure() const { return m_failure; }
    // Whether parsing failed on a character XML does not allow (raw or as
    // a character reference).
    bool failedOnDisallowedCharacter() const;
    int line() const;
    // With dropControlCharacters: how many were dropped, and the first one's line.
    qint64 droppedControlCharacters() const { return m_controlCharacters ? m_controlCharacters->dropped() : 0; }
    int firstDroppedControlCharacterLine() const
    {
        return m_controlCharacters ? m_controlCharacters->firstDroppedLine() : 0;
    }

    struct Callbacks;

private:
    friend struct Callbacks;
    // Forgets what the last read left: its context, failure and counts.
    void startRead();
    bool begin();
    bool readFileHere(const QString &path, FileObserver *observer);
    bool readFileOnHelperThread(const QString &path, FileObserver *observer);
    bool feed(const char *data, qsizetype size, bool last);
    void fail(Failure failure);

    Handler &m_handler;
    Options m_options;
    _xmlParserCtxt *m_context = nullptr;
    XmlAttributes m_attributes;
    // Values of the current start tag that had to be rewritten; a
    // QByteArray's bytes stay in place when the list grows.
    std::vector<QByteArray> m_decodedValues;
    bool m_failed = false;
    Failure m_failure;
    std::exception_ptr m_handlerException;
    std::unique_ptr<ControlCharacterFilter> m_controlCharacters;
    // While the handler takes events parsed on a helper thread: the line of
    // the event it is given.
    bool m_relaying = false;
    int m_relayedLine = 0;
};
