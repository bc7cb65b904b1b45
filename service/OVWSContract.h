#pragma once

#include <QString>
#include <QAnyStringView>

#include <span>

// The media server's service contract as data: every operation with its
// parameters in wire order and its result, every record type with its fields
// in element order, every list type with its item type. The tables are
// generated from service/contract/OrvanaContract.txt; the proxy, the record
// classes and the server simulator are all built from the same file.
class OVWSContract
{
public:
    enum class Kind { Int, Bool, String, Data, Record, List };

    // A parameter or a field. typeName names the record type (element name,
    // without the class prefix) of a Record kind and the list type of a List kind.
    struct Member
    {
        const char *name;
        Kind kind;
        const char *typeName;
    };

    enum class ResultKind { None, Record, List, Token };

    struct Operation
    {
        const char *name;
        std::span<const Member> parameters;
        ResultKind resultKind;
        const char *result; // type name without prefix, or the type token
    };

    struct Record
    {
        const char *elementName;
        std::span<const Member> fields;
    };

    // itemType is "string" for the list of strings, which has no item element.
    struct List
    {
        const char *name;
        const char *itemType;
        const char *itemElement;
    };

    static std::span<const Operation> operations();
    static std::span<const Record> records();
    static std::span<const List> lists();

    static const Operation *operation(QAnyStringView name);
    static const Record *record(QAnyStringView elementName);
    static const List *list(QAnyStringView name);

    // The service namespace URI, the start of every SOAPAction.
    static QString serviceNamespace();
    // The contract path between the namespace and the operation name.
    static QString contractPath();
    // The HTTP path and port under which the server answers.
    static QString endpointPath();
    static int port();

    // namespace + contract path + operation name.
    static QString soapAction(QAnyStringView operationName);

    static const char *kindName(Kind kind);
};
