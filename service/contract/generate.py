#!/usr/bin/env python3
"""Generates the web-service classes from the contract table.

usage: generate.py CONTRACT OUTDIR [--table-only]
       generate.py CONTRACT --list   (prints the class files it writes)

Writes into OUTDIR/service/: OVWSContractTable.cpp (the contract as data),
and unless --table-only, one header/source pair per record and list type and
OVWSService.h/.cpp (the proxy). Files whose text is unchanged are left alone so
that the build does not recompile them.
"""

import os
import sys

EXPECTED_OPERATIONS = 123
EXPECTED_RECORDS = 24
EXPECTED_LISTS = 15
PREFIX = "OVWS"
SCALAR_KINDS = ("int", "bool", "string", "data")


class ContractError(Exception):
    pass


class Contract:
    def __init__(self):
        self.settings = {}
        self.operations = []  # (name, result, [(param, kind)])
        self.records = []  # (element, [(field, kind, type)])
        self.lists = []  # (name, item type, item element)

    def record_names(self):
        return {name for name, _ in self.records}

    def list_names(self):
        return {name for name, _, _ in self.lists}


def parse(path):
    contract = Contract()
    current_fields = None
    with open(path, encoding="utf-8") as source:
        for number, raw in enumerate(source, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            words = line.split()
            where = "%s:%d" % (path, number)
            if line.startswith((" ", "\t")):
                if current_fields is None or len(words) not in (2, 3):
                    raise ContractError(where + ": field line outside a record")
                current_fields.append((words[0], words[1], words[2] if len(words) == 3 else None))
                continue
            current_fields = None
            keyword = words[0]
            if keyword in ("namespace", "contract", "endpoint", "port") and len(words) == 2:
                contract.settings[keyword] = words[1]
            elif keyword == "operation" and len(words) >= 3:
                params = []
                for word in words[3:]:
                    name, _, kind = word.partition(":")
                    params.append((name, kind))
                contract.operations.append((words[1], words[2], params))
            elif keyword == "record" and len(words) == 2:
                current_fields = []
                contract.records.append((words[1], current_fields))
            elif keyword == "list" and len(words) == 4:
                contract.lists.append((words[1], words[2], words[3]))
            else:
                raise ContractError(where + ": cannot read " + repr(line))
    validate(contract)
    return contract


def validate(contract):
    def require(condition, message):
        if not condition:
            raise ContractError(message)

    for key in ("namespace", "contract", "endpoint", "port"):
        require(key in contract.settings, "missing " + key)
    require(contract.settings["namespace"].startswith("http://")
            and contract.settings["namespace"].endswith("/WebService/2009/07"),
            "the namespace must be an http URI with the path /WebService/2009/07")
    counts = (len(contract.operations), len(contract.records), len(contract.lists))
    require(counts == (EXPECTED_OPERATIONS, EXPECTED_RECORDS, EXPECTED_LISTS),
            "expected %d operations, %d records, %d lists; found %d, %d, %d"
            % ((EXPECTED_OPERATIONS, EXPECTED_RECORDS, EXPECTED_LISTS) + counts))
    records = contract.record_names()
    lists = contract.list_names()
    for names, what in (([o[0] for o in contract.operations], "operation"),
                        ([r[0] for r in contract.records] + [l[0] for l in contract.lists], "type")):
        duplicates = {n for n in names if names.count(n) > 1}
        require(not duplicates, "duplicate %s names: %s" % (what, sorted(duplicates)))
    for name, result, params in contract.operations:
        require(result == "none" or result.startswith("token:") or result in records or result in lists,
                "%s: unknown result %s" % (name, result))
        param_names = [p for p, _ in params]
        require(len(set(param_names)) == len(param_names), name + ": repeated parameter")
        for param, kind in params:
            require(kind in ("int", "bool", "string") or kind in records,
                    "%s: parameter %s has unknown kind %s" % (name, param, kind))
    for element, fields in contract.records:
        require(fields, element + ": record without fields")
        for field, kind, type_name in fields:
            if kind in SCALAR_KINDS:
                require(type_name is None, "%s.%s: a %s field takes no type" % (element, field, kind))
            elif kind == "record":
                require(type_name in records, "%s.%s: unknown record %s" % (element, field, type_name))
            elif kind == "list":
                require(type_name in lists, "%s.%s: unknown list %s" % (element, field, type_name))
            else:
                raise ContractError("%s.%s: unknown kind %s" % (element, field, kind))
    for name, item_type, item_element in contract.lists:
        require(name.startswith("ArrayOf"), name + ": list names start with ArrayOf")
        if item_type == "string":
            require(item_element == "-", name + ": a list of strings has no item element")
        else:
            require(item_type in records, "%s: unknown item type %s" % (name, item_type))


# ---------------------------------------------------------------- output helpers

def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def write_if_changed(path, text):
    try:
        with open(path, encoding="utf-8") as existing:
            if existing.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(path, "w", encoding="utf-8") as out:
        out.write(text)


GENERATED_NOTE = "// Generated by service/contract/generate.py from OrvanaContract.txt; do not edit.\n"


# ---------------------------------------------------------------- contract table

def member_kind(kind, records):
    if kind in SCALAR_KINDS:
        return "Kind::" + kind.capitalize(), "nullptr"
    if kind in records:  # a record-typed operation parameter
        return "Kind::Record", c_string(kind)
    raise ContractError("no member kind for " + kind)


def table_source(contract):
    records = contract.record_names()
    lists = contract.list_names()
    out = [GENERATED_NOTE, '#include "service/OVWSContract.h"\n\n', "namespace {\n\n",
           "using Kind = OVWSContract::Kind;\n", "using ResultKind = OVWSContract::ResultKind;\n\n"]
    for name, _, params in contract.operations:
        if params:
            out.append("const OVWSContract::Member %sParameters[] = {\n" % name)
            for param, kind in params:
                member, type_name = member_kind(kind, records)
                out.append("    {%s, %s, %s},\n" % (c_string(param), member, type_name))
            out.append("};\n")
    for element, fields in contract.records:
        out.append("const OVWSContract::Member %sFields[] = {\n" % element)
        for field, kind, type_name in fields:
            out.append("    {%s, Kind::%s, %s},\n"
                       % (c_string(field), kind.capitalize(), c_string(type_name) if type_name else "nullptr"))
        out.append("};\n")
    out.append("\nconst OVWSContract::Operation operationTable[] = {\n")
    for name, result, params in contract.operations:
        if result == "none":
            kind, text = "None", ""
        elif result.startswith("token:"):
            kind, text = "Token", result[len("token:"):]
        elif result in records:
            kind, text = "Record", result
        else:
            kind, text = "List", result
        parameters = ("%sParameters" % name) if params else "{}"
        out.append("    {%s, %s, ResultKind::%s, %s},\n" % (c_string(name), parameters, kind, c_string(text)))
    out.append("};\n\nconst OVWSContract::Record recordTable[] = {\n")
    for element, _ in contract.records:
        out.append("    {%s, %sFields},\n" % (c_string(element), element))
    out.append("};\n\nconst OVWSContract::List listTable[] = {\n")
    for name, item_type, item_element in contract.lists:
        element = "nullptr" if item_element == "-" else c_string(item_element)
        out.append("    {%s, %s, %s},\n" % (c_string(name), c_string(item_type), element))
    out.append("};\n\n} // namespace\n\n")
    settings = contract.settings
    out.append("std::span<const OVWSContract::Operation> OVWSContract::operations() { return operationTable; }\n")
    out.append("std::span<const OVWSContract::Record> OVWSContract::records() { return recordTable; }\n")
    out.append("std::span<const OVWSContract::List> OVWSContract::lists() { return listTable; }\n")
    for function, key in (("serviceNamespace", "namespace"), ("contractPath", "contract"),
                          ("endpointPath", "endpoint")):
        out.append("QString OVWSContract::%s() { return QStringLiteral(%s); }\n"
                   % (function, c_string(settings[key])))
    out.append("int OVWSContract::port() { return %d; }\n" % int(settings["port"]))
    return "".join(out)


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    try:
        contract = parse(argv[1])
    except (ContractError, OSError) as error:
        sys.stderr.write("generate.py: %s\n" % error)
        return 1
    import generate_classes
    if argv[2] == "--list":
        print(";".join(generate_classes.file_names(contract)))
        return 0
    outdir = os.path.join(argv[2], "service")
    os.makedirs(outdir, exist_ok=True)
    write_if_changed(os.path.join(outdir, "OVWSContractTable.cpp"), table_source(contract))
    if "--table-only" not in argv:
        for file_name, text in generate_classes.sources(contract):
            write_if_changed(os.path.join(outdir, file_name), text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
