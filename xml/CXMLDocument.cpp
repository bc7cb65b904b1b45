#include "xml/CXMLDocument.h"

#include "platform/ProgrammingError.h"
#include "xml/CXMLElement.h"
#include "xml/LibXMLSupport.h"

#include <QFile>

#include <libxml/entities.h>

#include <limits>
#include <unordered_map>
#include <vector>

const QString CXMLDocument::ErrorDomain = QStringLiteral("CXMLErrorDomain");
const QString CXMLDocument::ReadErrorDomain = QStringLiteral("CXMLReadErrorDomain");

namespace {

// Options of every XML parse: never the network, no error text on stderr
// (the message goes into the error record). Entity substitution, DTD
// loading and the lifting of libxml2's size limits stay off.
constexpr int safeParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
// Recover from errors and suppress warnings, for bytes.
constexpr int dataParseOptions = XML_PARSE_RECOVER | XML_PARSE_NOWARNING | safeParseOptions;

// An entity that expands beyond libxml2's limits is reported as one of these;
// in recovery mode libxml2 would carry on and return the document anyway.
bool isEntityAmplification(const xmlError *error)
{
    return error && error->code == XML_ERR_ENTITY_LOOP;
}

} // namespace

CXMLDocument::CXMLDocument(_xmlNode *document, bool owns) : CXMLNode(document, owns)
{
}

CXMLDocument::~CXMLDocument()
{
    CXMLDocument::invalidate();
}

QString CXMLDocument::className() const
{
    return QStringLiteral("CXMLDocument");
}

void CXMLDocument::attachToDocument(const char *unit)
{
    if (_node->_private)
        throw ProgrammingError(QStringLiteral("TODO"), QStringLiteral("attachToDocument"), objectDescription(),
                               QString::fromUtf8(unit), __LINE__);
    _node->_private = this;
}

void CXMLDocument::addToNodePool(const CXMLNodePtr &wrapper) const
{
    if (wrapper->m_pool == this)
        return;
    wrapper->m_pool = this;
    m_nodePool.push_back(wrapper);
}

QByteArray CXMLDocument::characterSetName(QStringConverter::Encoding encoding)
{
    if (encoding == QStringConverter::System)
        return QByteArrayLiteral("UTF-8"); // Qt's system encoding on this platform
    const char *name = QStringConverter::nameForEncoding(encoding);
    return name ? QByteArray(name) : QByteArrayLiteral("UTF-8");
}

ErrorRecord CXMLDocument::parseError(const QString &fallbackMessage, qint64 code, const QString &knownMessage)
{
    const xmlError *last = xmlGetLastError();
    QString message = knownMessage;
    if (message.isEmpty() && last && last->message)
        message = QString::fromUtf8(last->message).trimmed();
    if (message.isEmpty())
        message = fallbackMessage;
    xmlResetLastError();
    return ErrorRecord::withDescription(ErrorDomain, code, message);
}

namespace {

// libxml2 keeps references to internal entities as nodes (nothing is
// substituted), but XPath string values and other readers expand them. A
// document whose references would expand beyond this many bytes is refused,
// so that a small document cannot stand for an enormous one.
qint64 expansionLimit(qint64 inputSize)
{
    return 1024 * 1024 + 10 * inputSize;
}

class EntityExpansion {
public:
    explicit EntityExpansion(qint64 limit) : m_limit(limit) {}

    // Whether the references in the tree at root stay within the limit.
    bool withinLimit(xmlNode *root)
    {
        m_total = 0;
        return addSubtree(root, 0, m_total);
    }

private:
    static constexpr int maximumNesting = 64;

    // Adds the expanded text size of the subtree to total; false once the
    // limit is passed.
    bool addSubtree(xmlNode *root, int nesting, qint64 &total)
    {
        if (nesting > maximumNesting)
            return false;
        std::vector<xmlNode *> pending{root};
        while (!pending.empty()) {
            xmlNode *node = pending.back();
            pending.pop_back();
            if (node->type == XML_ENTITY_REF_NODE) {
                qint64 size = 0;
                if (!entitySize(reinterpret_cast<xmlEntity *>(node->children), nesting + 1, size))
                    return false;
                total += size;
            } else if (hasContentField(node) && node->content) {
                total += qint64(xmlStrlen(node->content));
            }
            if (total > m_limit)
                return false;
            if (node->type == XML_ELEMENT_NODE) {
                for (xmlAttr *attribute = node->properties; attribute; attribute = attribute->next)
                    pending.push_back(reinterpret_cast<xmlNode *>(attribute));
            }
            for (xmlNode *child = modelChildren(node); child; child = child->next)
                pending.push_back(child);
        }
        return true;
    }

    bool entitySize(xmlEntity *entity, int nesting, qint64 &size)
    {
        if (!entity || entity->type != XML_ENTITY_DECL)
            return true;
        if (const auto known = m_sizes.find(entity); known != m_sizes.end()) {
            size = known->second;
            return true;
        }
        size = entity->content ? qint64(xmlStrlen(entity->content)) : 0;
        if (entity->children) {
            size = 0;
            for (xmlNode *child = entity->children; child; child = child->next) {
                if (!addSubtree(child, nesting, size))
                    return false;
            }
        }
        if (size > m_limit)
            return false;
        m_sizes.emplace(entity, size);
        return true;
    }

    qint64 m_limit;
    qint64 m_total = 0;
    std::unordered_map<xmlEntity *, qint64> m_sizes;
};

// Parses bytes in a marked context. Fails (null) for a document that libxml2
// rejects, one without a root element when requireRoot, and one whose
// entities exceed libxml2's amplification limits or expand beyond
// expansionLimit.
xmlDoc *parseMemory(const QByteArray &bytes, const char *encoding, int options, bool requireRoot,
                    QString *failureMessage)
{
    initialiseLibXML();
    xmlResetLastError();
    LibXMLParserContextOwner context(xmlNewParserCtxt());
    if (!context)
        return nullptr;
    markParserContext(context.get());
    LibXMLDocumentOwner document(
        xmlCtxtReadMemory(context.get(), bytes.constData(), int(bytes.size()), nullptr, encoding, options));
    if (!document)
        return nullptr;
    if (isEntityAmplification(&context->lastError))
        return nullptr;
    if (requireRoot && !xmlDocGetRootElement(document.get()))
        return nullptr;
    if (document->intSubset && !EntityExpansion(expansionLimit(bytes.size())).withinLimit(reinterpret_cast<xmlNode *>(document.get()))) {
        *failureMessage = QStringLiteral("Entity references expand beyond the size this document may have.");
        return nullptr;
    }
    return document.release();
}

} // namespace

CXMLDocumentPtr CXMLDocument::parse(const QByteArray &bytes, const char *encoding, bool recover, ErrorRecord *error)
{
    xmlDoc *document = nullptr;
    QString failureMessage;
    if (!bytes.isEmpty() && bytes.size() <= std::numeric_limits<int>::max()) {
        document = parseMemory(bytes, encoding, recover ? dataParseOptions : safeParseOptions, recover, &failureMessage);
    } else {
        initialiseLibXML();
        xmlResetLastError();
    }
    if (!document) {
        const ErrorRecord failure = parseError(QStringLiteral("Unknown error"), 1, failureMessage);
        if (error)
            *error = failure;
        return nullptr;
    }
    return adoptDocument<CXMLDocument>(document, "CXMLDocument", error);
}

CXMLDocumentPtr CXMLDocument::initWithXMLString(const QString &XMLString, unsigned, ErrorRecord *error)
{
    // The text is already decoded: its bytes are UTF-8 whatever its
    // declaration says.
    return parse(XMLString.toUtf8(), "UTF-8", false, error);
}

CXMLDocumentPtr CXMLDocument::initWithData(const QByteArray &data, unsigned options, ErrorRecord *error)
{
    return initWithData(data, QStringConverter::Utf8, options, error);
}

CXMLDocumentPtr CXMLDocument::initWithData(const QByteArray &data, QStringConverter::Encoding encoding, unsigned,
                                           ErrorRecord *error)
{
    return parse(data, characterSetName(encoding).constData(), true, error);
}

CXMLDocumentPtr CXMLDocument::initWithContentsOfURL(const QUrl &URL, unsigned options, ErrorRecord *error)
{
    return initWithContentsOfURL(URL, QStringConverter::Utf8, options, error);
}

CXMLDocumentPtr CXMLDocument::initWithContentsOfURL(const QUrl &URL, QStringConverter::Encoding encoding,
                                                    unsigned options, ErrorRecord *error)
{
    if (error)
        *error = ErrorRecord();
    if (!URL.isLocalFile()) {
        if (error)
            *error = ErrorRecord::withDescription(
                ReadErrorDomain, QFileDevice::OpenError,
                QStringLiteral("Only local files can be read: %1").arg(URL.toDisplayString()));
        return nullptr;
    }
    QFile file(URL.toLocalFile());
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = ErrorRecord::withDescription(ReadErrorDomain, file.error(),
                                                  QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
        return nullptr;
    }
    return initWithData(bytes, encoding, options, error);
}

void CXMLDocument::invalidate()
{
    if (!_node)
        return;
    xmlNode *document = _node;
    // Every wrapper of a node in the tree, pooled or not, loses its node
    // before the tree goes. Wrappers made while this one existed are all
    // pooled; the walk finds the others.
    if (m_mayHoldUnpooledWrappers)
        invalidateWrappersInSubtree(document, this);
    std::vector<CXMLNodePtr> pool;
    pool.swap(m_nodePool);
    for (const CXMLNodePtr &wrapper : pool) {
        wrapper->m_pool = nullptr;
        wrapper->invalidate();
    }
    pool.clear();
    _node = nullptr;
    if (document->_private == this)
        document->_private = nullptr;
    if (_freeNodeOnRelease)
        xmlFreeDoc(reinterpret_cast<xmlDoc *>(document));
}

CXMLElementPtr CXMLDocument::rootElement() const
{
    if (!_node)
        return nullptr;
    return std::static_pointer_cast<CXMLElement>(
        nodeWithLibXMLNode(xmlDocGetRootElement(reinterpret_cast<xmlDoc *>(_node)), false));
}

QByteArray CXMLDocument::XMLData() const
{
    return XMLDataWithOptions(0);
}

QByteArray CXMLDocument::XMLDataWithOptions(unsigned) const
{
    if (!_node)
        return {};
    xmlChar *memory = nullptr;
    int size = 0;
    xmlDocDumpMemory(reinterpret_cast<xmlDoc *>(_node), &memory, &size);
    LibXMLStringOwner owner(memory);
    return memory ? QByteArray(reinterpret_cast<const char *>(memory), size) : QByteArray();
}

QString CXMLDocument::XMLStringWithOptions(unsigned options) const
{
    const CXMLElementPtr root = rootElement();
    return root ? root->XMLStringWithOptions(options) : QString();
}

QString CXMLDocument::description() const
{
    checkNode(__func__);
    xmlChar *memory = nullptr;
    int size = 0;
    xmlDocDumpFormatMemory(reinterpret_cast<xmlDoc *>(_node), &memory, &size, 1);
    LibXMLStringOwner owner(memory);
    const QString text = memory ? QString::fromUtf8(reinterpret_cast<const char *>(memory), size) : QString();
    return QStringLiteral("<%1 0x%2 [0x%3]> ")
               .arg(className())
               .arg(reinterpret_cast<quintptr>(this), 0, 16)
               .arg(reinterpret_cast<quintptr>(_node), 0, 16) +
           text;
}

void CXMLDocument::addChild(const CXMLNodePtr &child)
{
    insertChildNode(child, nullptr, __func__, QStringLiteral("CXMLNode_CreationExtensions"));
    if (child && child->_node)
        addToNodePool(child);
}

void CXMLDocument::insertChild(const CXMLNodePtr &child, qsizetype index)
{
    if (!_node)
        throw ProgrammingError(QStringLiteral("_node should not be null"), QString::fromUtf8(__func__),
                               objectDescription(), QStringLiteral("CXMLNode_CreationExtensions"), __LINE__);
    xmlNode *before = _node->children;
    for (qsizetype i = 0; i < index && before; ++i)
        before = before->next;
    if (index < 0 || (!before && index != childCount()))
        throw ProgrammingError(QStringLiteral("Index out of range"), QString::fromUtf8(__func__), objectDescription(),
                               QStringLiteral("CXMLNode_CreationExtensions"), __LINE__);
    insertChildNode(child, before, __func__, QStringLiteral("CXMLNode_CreationExtensions"));
    if (child && child->_node)
        addToNodePool(child);
}

CXMLNodePtr CXMLDocument::copyWithZone() const
{
    if (!_node)
        return nullptr;
    xmlDoc *copy = xmlCopyDoc(reinterpret_cast<xmlDoc *>(_node), 1);
    if (!copy)
        return nullptr;
    return wrapCopy(copy);
}

CXMLDocumentPtr CXMLDocument::wrapCopy(_xmlDoc *copy) const
{
    return adoptDocument<CXMLDocument>(copy, "CXMLDocument", nullptr);
}
