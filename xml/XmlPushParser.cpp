#include "xml/XmlPushParser.h"

#include "xml/LibXMLSupport.h"
#include "xml/XmlEventRelay.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

QByteArrayView view(const xmlChar *text)
{
    return text ? QByteArrayView(reinterpret_cast<const char *>(text)) : QByteArrayView();
}

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

void freeContext(xmlParserCtxtPtr context)
{
    if (!context)
        return;
    if (context->myDoc)
        xmlFreeDoc(context->myDoc);
    context->myDoc = nullptr;
    xmlFreeParserCtxt(context);
}

// The handler of the parser on the helper thread: every event to the relay.
class RelayingHandler : public XmlPushParser::Handler {
public:
    RelayingHandler(XmlEventRelay &relay, XmlPushParser &parser) : m_relay(relay), m_parser(parser) {}

    void startElement(QByteArrayView localName, QByteArrayView prefix, const XmlAttributes &attributes) override
    {
        // The handler stopped: so does the parse.
        if (m_relay.cancelled())
            return m_parser.stop(QStringLiteral("Reading was cancelled."));
        m_relay.startElement(m_parser.line(), localName, prefix, attributes);
    }
    void endElement() override { m_relay.endElement(m_parser.line()); }
    void characters(QByteArrayView text) override { m_relay.characters(m_parser.line(), text); }

private:
    XmlEventRelay &m_relay;
    XmlPushParser &m_parser;
};

// Passes the file's status and bytes on from the helper thread; its end is
// told on the calling thread once every event has been handled.
class DeferredEndObserver : public XmlPushParser::FileObserver {
public:
    explicit DeferredEndObserver(XmlPushParser::FileObserver &target) : m_target(target) {}
    void opened(const struct stat &info) override { m_target.opened(info); }
    void bytesRead(QByteArrayView bytes) override { m_target.bytesRead(bytes); }
    void endReached() override { reachedEnd = true; }

    bool reachedEnd = false;

private:
    XmlPushParser::FileObserver &m_target;
};

bool worthAHelperThread(const QByteArray &nativePath)
{
    struct stat info {};
    return std::thread::hardware_concurrency() > 1 && ::stat(nativePath.constData(), &info) == 0 && S_ISREG(info.st_mode)
        && info.st_size >= XmlPushParser::HelperThreadMinimumSize;
}

} // namespace

// The libxml2 callbacks. libxml2's own SAX2 callbacks (document and DTD
// bookkeeping) need the context as their user data, so the parser object
// travels in the context's _private.
struct XmlPushParser::Callbacks {
    static XmlPushParser *from(void *userData)
    {
        return static_cast<XmlPushParser *>(static_cast<xmlParserCtxtPtr>(userData)->_private);
    }

    // An exception must not unwind through libxml2's C frames: it is kept,
    // the parse stopped, and feed() rethrows it once libxml2 has returned.
    // Nothing here allocates, so the catch cannot throw again.
    template <class Call> static void guarded(XmlPushParser *parser, Call &&call) noexcept
    {
        try {
            call();
        } catch (...) {
            parser->m_handlerException = std::current_exception();
            parser->m_failed = true;
            xmlStopParser(parser->m_context);
        }
    }

    static void startElement(void *userData, const xmlChar *localName, const xmlChar *prefix, const xmlChar *, int,
                             const xmlChar **, int attributeCount, int, const xmlChar **attributes)
    {
        XmlPushParser *parser = from(userData);
        if (parser->m_failed)
            return;
        guarded(parser, [&] {
            if (parser->m_context->nameNr >= MaximumDepth) {
                parser->fail({XML_ERR_INTERNAL_ERROR, 0,
                              QStringLiteral("Excessive depth in document: elements nest deeper than %1 levels.")
                                  .arg(MaximumDepth),
                              parser->line(), 0});
                return;
            }
            parser->m_attributes.clear();
            parser->m_decodedValues.clear();
            for (int index = 0; index < attributeCount; ++index) {
                const xmlChar **attribute = attributes + 5 * index;
                const auto *start = reinterpret_cast<const char *>(attribute[3]);
                const auto *end = reinterpret_cast<const char *>(attribute[4]);
                QByteArrayView value(start, end - start);
                // Without entity substitution libxml2 hands over every "&"
                // of a value as "&#38;", the form its tree builder wants.
                if (parser->m_options.entities == Entities::Refuse && value.contains("&#38;")) {
                    parser->m_decodedValues.push_back(value.toByteArray().replace("&#38;", "&"));
                    value = parser->m_decodedValues.back();
                }
                parser->m_attributes.append(view(attribute[1]), view(attribute[0]), value);
            }
            parser->m_handler.startElement(view(localName), view(prefix), parser->m_attributes);
        });
    }

    static void endElement(void *userData, const xmlChar *, const xmlChar *, const xmlChar *)
    {
        XmlPushParser *parser = from(userData);
        if (!parser->m_failed)
            guarded(parser, [&] { parser->m_handler.endElement(); });
    }

    static void characters(void *userData, const xmlChar *text, int length)
    {
        XmlPushParser *parser = from(userData);
        if (!parser->m_failed)
            guarded(parser, [&] {
                parser->m_handler.characters(QByteArrayView(reinterpret_cast<const char *>(text), length));
            });
    }

    // Keeps internal entities only; external ones are never loaded.
    static void keepInternalEntity(void *userData, const xmlChar *name, int type, const xmlChar *publicId,
                                   const xmlChar *systemId, xmlChar *content)
    {
        if (type != XML_INTERNAL_GENERAL_ENTITY && type != XML_INTERNAL_PARAMETER_ENTITY)
            return;
        xmlSAX2EntityDecl(userData, name, type, publicId, systemId, content);
    }

    static void refuseEntity(void *userData, const xmlChar *, int, const xmlChar *, const xmlChar *, xmlChar *)
    {
        XmlPushParser *parser = from(userData);
        guarded(parser, [&] { parser->stop(QStringLiteral("entity declarations are not allowed")); });
    }

    static void refuseUnparsedEntity(void *userData, const xmlChar *, const xmlChar *, const xmlChar *, const xmlChar *)
    {
        XmlPushParser *parser = from(userData);
        guarded(parser, [&] { parser->stop(QStringLiteral("entity declarations are not allowed")); });
    }

    static void refuseReference(void *userData, const xmlChar *name)
    {
        XmlPushParser *parser = from(userData);
        guarded(parser, [&] {
            parser->stop(QStringLiteral("entity references are not allowed: &%1;").arg(QString::fromUtf8(view(name))));
        });
    }

    // Only the predefined entities (&amp; and the like) exist.
    static xmlEntityPtr predefinedEntity(void *, const xmlChar *name) { return xmlGetPredefinedEntity(name); }

    static void structuredError(void *userData, xmlErrorPtr error)
    {
        if (!error || error->level != XML_ERR_FATAL)
            return;
        XmlPushParser *parser = from(userData);
        guarded(parser, [&] {
            parser->fail({error->code, 0, QString::fromUtf8(error->message ? error->message : "").trimmed(),
                          error->line, error->int2});
        });
    }
};

XmlPushParser::XmlPushParser(Handler &handler, Options options) : m_handler(handler), m_options(options)
{
}

XmlPushParser::~XmlPushParser()
{
    freeContext(m_context);
}

int XmlPushParser::line() const
{
    if (m_relaying)
        return m_relayedLine;
    // xmlSAX2GetLineNumber, without a call per event.
    return m_context && m_context->input ? m_context->input->line : 0;
}

void XmlPushParser::stop(const QString &message)
{
    fail({0, 0, message, line(), 0});
}

void XmlPushParser::fail(Failure failure)
{
    if (m_failed)
        return;
    m_failed = true;
    m_failure = std::move(failure);
    if (m_context)
        xmlStopParser(m_context);
}

void XmlPushParser::startRead()
{
    freeContext(m_context);
    m_context = nullptr;
    m_failed = false;
    m_failure = {};
    m_handlerException = nullptr;
    m_controlCharacters.reset();
    m_relayedLine = 0;
}

bool XmlPushParser::begin()
{
    initialiseLibXML();
    startRead();
    m_controlCharacters = m_options.dropControlCharacters ? std::make_unique<ControlCharacterFilter>() : nullptr;

    xmlSAXHandler handler{};
    xmlSAXVersion(&handler, 2);
    handler.startElementNs = &Callbacks::startElement;
    handler.endElementNs = m_options.endTags ? &Callbacks::endElement : nullptr;
    handler.characters = m_options.text ? &Callbacks::characters : nullptr;
    handler.ignorableWhitespace = handler.characters;
    handler.startElement = nullptr;
    handler.endElement = nullptr;
    handler.cdataBlock = nullptr;
    handler.comment = nullptr;
    handler.processingInstruction = nullptr;
    // Never fetch an external DTD or entity.
    handler.externalSubset = nullptr;
    handler.resolveEntity = nullptr;
    handler.serror = &Callbacks::structuredError;
    handler.error = nullptr;
    handler.warning = nullptr;
    int options = XML_PARSE_NONET;
    if (m_options.entities == Entities::ExpandInternal) {
        handler.entityDecl = &Callbacks::keepInternalEntity;
        handler.reference = nullptr;
        options |= XML_PARSE_NOENT;
    } else {
        handler.entityDecl = &Callbacks::refuseEntity;
        handler.unparsedEntityDecl = &Callbacks::refuseUnparsedEntity;
        handler.getEntity = &Callbacks::predefinedEntity;
        handler.getParameterEntity = &Callbacks::predefinedEntity;
        handler.reference = &Callbacks::refuseReference;
    }
    m_context = xmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, nullptr);
    if (!m_context) {
        fail({XML_ERR_NO_MEMORY, 0, QStringLiteral("Cannot create the XML parser."), 0, 0});
        return false;
    }
    m_context->_private = this;
    xmlCtxtUseOptions(m_context, options);
    return true;
}

bool XmlPushParser::failedOnDisallowedCharacter() const
{
    switch (m_failure.code) {
    case XML_ERR_INVALID_HEX_CHARREF:
    case XML_ERR_INVALID_DEC_CHARREF:
    case XML_ERR_INVALID_CHARREF:
    case XML_ERR_INVALID_CHAR:
        return m_failed;
    default:
        return false;
    }
}

bool XmlPushParser::feed(const char *data, qsizetype size, bool last)
{
    if (m_failed)
        return false;
    if (m_controlCharacters) {
        const QByteArrayView kept = m_controlCharacters->filter(QByteArrayView(data, size), last);
        data = kept.data();
        size = kept.size();
    }
    xmlParseChunk(m_context, data, int(size), last ? 1 : 0);
    if (m_handlerException) {
        m_failure = {0, 0, QStringLiteral("Reading stopped: the handler failed."), line(), 0};
        std::rethrow_exception(std::exchange(m_handlerException, nullptr));
    }
    if (!m_context->wellFormed && !m_failed) {
        fail({m_context->errNo != 0 ? m_context->errNo : XML_ERR_INTERNAL_ERROR, 0,
              QStringLiteral("The document is not well-formed."), line(), 0});
    }
    return !m_failed;
}

bool XmlPushParser::readFile(const QString &path, FileObserver *observer)
{
    if (m_options.parseOnHelperThread && worthAHelperThread(path.toUtf8()))
        return readFileOnHelperThread(path, observer);
    return readFileHere(path, observer);
}

bool XmlPushParser::readFileOnHelperThread(const QString &path, FileObserver *observer)
{
    startRead();

    XmlEventRelay relay;
    Options helperOptions = m_options;
    helperOptions.parseOnHelperThread = false;
    // The helper parser needs its handler first, the handler its parser.
    struct Helper {
        explicit Helper(XmlEventRelay &relay, Options options) : handler(relay, parser), parser(handler, options) {}
        RelayingHandler handler;
        XmlPushParser parser;
    };
    Helper parsing(relay, helperOptions);
    std::optional<DeferredEndObserver> deferred;
    if (observer)
        deferred.emplace(*observer);
    bool parsed = false;
    std::exception_ptr helperException;
    std::thread thread;
    try {
        thread = std::thread([&] {
            try {
                parsed = parsing.parser.readFileHere(path, deferred ? &*deferred : nullptr);
                relay.finish();
            } catch (...) {
                helperException = std::current_exception();
                relay.cancel();
            }
        });
    } catch (const std::system_error &) {
        // No thread to be had: parse here.
        return readFileHere(path, observer);
    }
    m_relaying = true;
    const auto ended = [&] {
        relay.cancel();
        thread.join();
        m_relaying = false;
    };
    try {
        relay.replay(m_handler, &m_relayedLine, m_failed);
    } catch (...) {
        const int line = m_relayedLine;
        ended();
        m_failed = true;
        m_failure = {0, 0, QStringLiteral("Reading stopped: the handler failed."), line, 0};
        throw;
    }
    ended();
    if (helperException)
        std::rethrow_exception(helperException);
    m_controlCharacters = std::move(parsing.parser.m_controlCharacters);
    if (!m_failed && !parsed) {
        m_failed = true;
        m_failure = parsing.parser.m_failure;
    }
    if (!m_failed && deferred && deferred->reachedEnd)
        observer->endReached();
    return !m_failed;
}

bool XmlPushParser::readFileHere(const QString &path, FileObserver *observer)
{
    const QByteArray nativePath = path.toUtf8();
    // Non-blocking and checked before reading: a FIFO or a device under the
    // file's name is refused instead of hanging the read.
    const int descriptor = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info {};
    int openError = descriptor < 0 ? errno : 0;
    if (descriptor >= 0 && (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)))
        openError = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    if (openError == 0 && ::fcntl(descriptor, F_SETFL, O_RDONLY) != 0)
        openError = errno;
    std::unique_ptr<std::FILE, FileCloser> file(openError == 0 ? ::fdopen(descriptor, "rb") : nullptr);
    if (!file && openError == 0)
        openError = errno;
    if (!file) {
        if (descriptor >= 0)
            ::close(descriptor);
        m_failed = true;
        m_failure = {0, openError,
                     openError == EINVAL ? QStringLiteral("not a regular file")
                                         : QString::fromLocal8Bit(std::strerror(openError)),
                     0, 0};
        return false;
    }
    if (!begin())
        return false;
    if (observer)
        observer->opened(info);
    std::vector<char> buffer(static_cast<size_t>(ChunkSize));
    for (;;) {
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
        if (got < buffer.size() && std::ferror(file.get())) {
            const int error = errno != 0 ? errno : EIO;
            fail({0, error, QString::fromLocal8Bit(std::strerror(error)), line(), 0});
            return false;
        }
        const bool last = got < buffer.size();
        if (observer)
            observer->bytesRead(QByteArrayView(buffer.data(), qsizetype(got)));
        if (!feed(buffer.data(), qsizetype(got), last))
            return false;
        if (last) {
            if (observer && !m_failed)
                observer->endReached();
            return !m_failed;
        }
    }
}

bool XmlPushParser::readBytes(const char *data, qsizetype size)
{
    if (!begin())
        return false;
    qsizetype offset = 0;
    do {
        const qsizetype chunk = std::min(size - offset, ChunkSize);
        const bool last = offset + chunk >= size;
        if (!feed(data + offset, chunk, last))
            return false;
        offset += chunk;
    } while (offset < size);
    return true;
}
