#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <string>

struct _xmlTextReader;

// Reads an XML property list node by node with libxml2's streaming reader:
// never the whole tree, never the network, no DTD or external entity loaded.
// Every failure is thrown as PlistStreamReader::Failure with a message.
class PlistStreamReader {
public:
    struct Failure {
        QString message;
        int line = 0;
    };

    enum class Event { StartElement, EndElement, Text, EndOfDocument };

    PlistStreamReader();
    ~PlistStreamReader();
    PlistStreamReader(const PlistStreamReader &) = delete;
    PlistStreamReader &operator=(const PlistStreamReader &) = delete;

    // False (with failure()) when the input cannot be opened.
    bool openFile(const QString &path);
    // The bytes must outlive the reader.
    bool openMemory(const QByteArray &bytes);

    // Moves to the next element start, element end or text; skips comments,
    // whitespace, processing instructions and the document type.
    Event next();
    // The name of the current element.
    const char *name() const { return m_name; }
    bool isEmptyElement() const { return m_empty; }
    // The current text.
    const char *text() const { return m_text; }
    int line() const;

    // Requires the current event to start an element; skips it with all it holds.
    void skipElement();
    // Requires the current event to start an element; appends its text content
    // to out (UTF-8) and consumes its end. Child elements are a failure.
    void readText(std::string &out);
    // Throws a Failure with the current line.
    [[noreturn]] void fail(const QString &message) const;

    const Failure &failure() const { return m_openFailure; }

private:
    void open(_xmlTextReader *reader, const QString &what);

    struct ReaderDeleter {
        void operator()(_xmlTextReader *reader) const;
    };
    std::unique_ptr<_xmlTextReader, ReaderDeleter> m_reader;
    const char *m_name = nullptr;
    const char *m_text = nullptr;
    bool m_empty = false;
    bool m_pending = false; // the reader already stands on the next node
    QString m_lastError;
    Failure m_openFailure;
    static void onError(void *self, const struct _xmlError *error);
};
