// COdbc::CreateClass and COdbc::CreateCSClass: source text of a class that
// mirrors one table, from the columns the driver describes.
#include "Brindle/odbc/Odbc.h"

#include "Brindle/odbc/OdbcDiagnostics.h"

#include <cctype>
#include <cstdio>
#include <set>
#include <sstream>

namespace Brindle {

namespace {

// A table name as SQL: each dot-separated part in double quotes, inner
// quotes doubled, so no name can end the identifier.
std::string QuoteTable(const std::string& table)
{
    std::string quoted;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = table.find('.', start);
        const std::string part = table.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (!quoted.empty())
            quoted += '.';
        quoted += '"';
        for (char c : part) {
            if (c == '"')
                quoted += '"';
            quoted += c;
        }
        quoted += '"';
        if (dot == std::string::npos)
            return quoted;
        start = dot + 1;
    }
}

std::string QuoteColumn(const std::string& name)
{
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// A name usable as an identifier in C++ and C#: anything but letters, digits
// and '_' becomes '_', and a leading digit gets a '_' in front.
std::string Identifier(const std::string& name)
{
    std::string id;
    for (unsigned char c : name)
        id += (std::isalnum(c) != 0 && c < 0x80) || c == '_' ? static_cast<char>(c) : '_';
    if (id.empty() || (id[0] >= '0' && id[0] <= '9'))
        id.insert(0, "_");
    return id;
}

// Member names of the columns, distinct even when two names map alike.
std::vector<std::string> MemberNames(const COdbcColumns& columns)
{
    std::vector<std::string> names;
    std::set<std::string> used;
    for (const COdbcColumn& column : columns) {
        std::string name = Identifier(column.get_name());
        for (int n = 2; used.count(name) != 0; ++n)
            name = Identifier(column.get_name()) + "_" + std::to_string(n);
        used.insert(name);
        names.push_back(name);
    }
    return names;
}

// A C++ or C# string literal of any text (control bytes escaped).
std::string Literal(const std::string& text, bool csharp)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, csharp ? "\\u%04x" : "\\%03o", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + '"';
}

// Text for a // comment: one line whatever the name holds.
std::string CommentText(const std::string& text)
{
    std::string out;
    for (unsigned char c : text)
        out += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
    return out;
}

const char* CppReader(const std::string& type)
{
    if (type == "bool")
        return "GetBool";
    if (type == "std::string")
        return "GetStdString";
    if (type == "double")
        return "GetDouble";
    if (type == "int")
        return "GetInt";
    return "GetLong";
}

const char* CppWriter(const std::string& type)
{
    if (type == "bool")
        return "SetBool";
    if (type == "std::string")
        return "SetStdString";
    if (type == "double")
        return "SetDouble";
    if (type == "int")
        return "SetInt";
    return "SetLong";
}

const char* CppDefault(const std::string& type)
{
    if (type == "bool")
        return " = false";
    if (type == "std::string")
        return "";
    if (type == "double")
        return " = 0.0";
    return " = 0";
}

std::string DefaultClassName(const std::string& table, const char* className, const char* prefix)
{
    if (className != nullptr && *className != '\0')
        return Identifier(className);
    const std::size_t dot = table.rfind('.');
    return prefix + Identifier(dot == std::string::npos ? table : table.substr(dot + 1));
}

} // namespace

COdbcColumns COdbc::DescribeTable(const char* table)
{
    if (table == nullptr || *table == '\0')
        throw COdbcException("No table name");
    // Every driver answers this with the columns and no rows.
    const std::string sql = "SELECT * FROM " + QuoteTable(table) + " WHERE 1=0";
    return Execute(sql.c_str())->GetColumns();
}

std::string COdbc::CreateClass(const char* table, const char* className)
{
    const COdbcColumns columns = DescribeTable(table);
    const std::vector<std::string> members = MemberNames(columns);
    const std::string name = DefaultClassName(table, className, "C");
    std::vector<std::size_t> kept; // columns with a member type
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (std::string(COdbcValue::GetCPPString(columns[i].get_type())) != "void*")
            kept.push_back(i);
    }

    std::ostringstream out;
    out << "// " << name << ": one row of table " << CommentText(table) << ".\n"
        << "#pragma once\n\n"
        << "#include \"Brindle/odbc/Odbc.h\"\n\n"
        << "#include <ostream>\n#include <string>\n\n"
        << "class " << name << " {\npublic:\n";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const std::string type = COdbcValue::GetCPPString(columns[i].get_type());
        if (type == "void*")
            out << "    // " << CommentText(columns[i].get_name()) << " "
                << COdbcValue::GetTypeString(columns[i].get_type()) << ": no member for this type\n";
    }
    for (std::size_t i : kept) {
        const std::string type = COdbcValue::GetCPPString(columns[i].get_type());
        const std::string& m = members[i];
        out << "    const " << type << "& Get" << m << "() const { return m_" << m << "; }\n"
            << "    void Set" << m << "(const " << type << "& value) { m_" << m << " = value; }\n";
    }
    out << "\n    bool operator==(const " << name << "& other) const\n    {\n        return true";
    for (std::size_t i : kept)
        out << "\n            && m_" << members[i] << " == other.m_" << members[i];
    out << ";\n    }\n"
        << "    bool operator!=(const " << name << "& other) const { return !(*this == other); }\n\n";

    // Binding table: column name, SQL type, size, decimals and octets.
    out << "    struct Column {\n        const char* name;\n        short sqlType;\n        unsigned long size;\n"
        << "        long octets;\n    };\n"
        << "    static constexpr int ColumnCount = " << kept.size() << ";\n"
        << "    static const Column* Columns()\n    {\n        static const Column columns[] = {\n";
    for (std::size_t i : kept)
        out << "            {" << Literal(columns[i].get_name(), false) << ", " << columns[i].get_type() << " /* "
            << COdbcValue::GetSQLString(columns[i].get_type()) << " */, " << columns[i].get_size() << "ul, "
            << columns[i].get_octet_length() << "l},\n";
    if (kept.empty())
        out << "            {\"\", 0, 0ul, 0l},\n";
    out << "        };\n        return columns;\n    }\n\n";

    std::string columnList, markers;
    for (std::size_t i : kept) {
        if (!columnList.empty()) {
            columnList += ", ";
            markers += ", ";
        }
        columnList += QuoteColumn(columns[i].get_name());
        markers += '?';
    }
    out << "    static const char* SelectSQL() { return "
        << Literal("SELECT " + (columnList.empty() ? std::string("*") : columnList) + " FROM " + QuoteTable(table), false)
        << "; }\n"
        << "    static const char* InsertSQL() { return "
        << Literal("INSERT INTO " + QuoteTable(table) + " (" + columnList + ") VALUES (" + markers + ")", false)
        << "; }\n\n";

    out << "    // A row fetched with SelectSQL().\n"
        << "    void FromRow(const Brindle::COdbcRow& row)\n    {\n";
    for (std::size_t k = 0; k < kept.size(); ++k) {
        const std::size_t i = kept[k];
        out << "        m_" << members[i] << " = row[" << k << "]->"
            << CppReader(COdbcValue::GetCPPString(columns[i].get_type())) << "();\n";
    }
    out << "    }\n"
        << "    // The members as parameters of InsertSQL().\n"
        << "    Brindle::CRefCountedPtr<Brindle::COdbcParams> ToParams() const\n    {\n"
        << "        Brindle::CRefCountedPtr<Brindle::COdbcParams> params(new Brindle::COdbcParams());\n"
        << "        const Column* columns = Columns();\n";
    for (std::size_t k = 0; k < kept.size(); ++k) {
        const std::size_t i = kept[k];
        out << "        params->push_back(Brindle::COdbcValue::Create(columns[" << k << "].sqlType, columns[" << k
            << "].size, columns[" << k << "].octets));\n"
            << "        params->back()->" << CppWriter(COdbcValue::GetCPPString(columns[i].get_type())) << "(m_"
            << members[i] << ");\n";
    }
    out << "        return params;\n    }\n\n"
        << "    friend std::ostream& operator<<(std::ostream& out, const " << name << "& row)\n    {\n";
    for (std::size_t i : kept)
        out << "        out << " << Literal(columns[i].get_name() + " = ", false) << " << row.m_" << members[i]
            << " << '\\n';\n";
    out << "        return out;\n    }\n\nprivate:\n";
    for (std::size_t i : kept) {
        const std::string type = COdbcValue::GetCPPString(columns[i].get_type());
        out << "    " << type << " m_" << members[i] << CppDefault(type) << "; // "
            << COdbcValue::GetTypeString(columns[i].get_type()) << "\n";
    }
    out << "};\n";
    return out.str();
}

std::string COdbc::CreateCSClass(const char* table, const char* className)
{
    const COdbcColumns columns = DescribeTable(table);
    const std::vector<std::string> members = MemberNames(columns);
    const std::string name = DefaultClassName(table, className, "");
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (std::string(COdbcValue::GetCSString(columns[i].get_type())) != "object")
            kept.push_back(i);
    }

    std::ostringstream out;
    out << "// " << name << ": one row of table " << CommentText(table) << ".\n"
        << "using System;\nusing System.Collections.Generic;\nusing System.Text;\n\n"
        << "public class " << name << "\n{\n";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (std::string(COdbcValue::GetCSString(columns[i].get_type())) == "object")
            out << "    // " << CommentText(columns[i].get_name()) << " "
                << COdbcValue::GetTypeString(columns[i].get_type()) << ": no member for this type\n";
    }
    for (std::size_t i : kept)
        out << "    public " << COdbcValue::GetCSString(columns[i].get_type()) << " " << members[i]
            << " { get; set; }\n";
    out << "\n    public static readonly string[] Columns = {";
    for (std::size_t k = 0; k < kept.size(); ++k)
        out << (k == 0 ? " " : ", ") << Literal(columns[kept[k]].get_name(), true);
    out << " };\n\n"
        << "    public override bool Equals(object obj)\n    {\n"
        << "        var other = obj as " << name << ";\n        return other != null";
    for (std::size_t i : kept)
        out << "\n            && Equals(" << members[i] << ", other." << members[i] << ")";
    out << ";\n    }\n\n"
        << "    public override int GetHashCode()\n    {\n        int hash = 17;\n";
    for (std::size_t i : kept)
        out << "        hash = hash * 31 + EqualityComparer<" << COdbcValue::GetCSString(columns[i].get_type())
            << ">.Default.GetHashCode(" << members[i] << ");\n";
    out << "        return hash;\n    }\n\n"
        << "    public override string ToString()\n    {\n        var text = new StringBuilder();\n";
    for (std::size_t i : kept)
        out << "        text.Append(" << Literal(columns[i].get_name() + " = ", true) << ").Append(" << members[i]
            << ").Append('\\n');\n";
    out << "        return text.ToString();\n    }\n}\n";
    return out.str();
}

} // namespace Brindle
