#include "app/dump/Table.h"

#include <algorithm>

namespace zortan::dump {

void writeFields(std::ostream& out, const std::vector<Field>& fields) {
    size_t width = 0;
    for (const Field& f : fields) width = std::max(width, f.key.size());
    for (const Field& f : fields)
        out << f.key << ':' << std::string(width - f.key.size() + 2, ' ') << f.value << '\n';
}

void writeAligned(std::ostream& out, const Table& table) {
    std::vector<size_t> widths(table.columns.size());
    for (size_t c = 0; c < widths.size(); ++c) widths[c] = table.columns[c].size();
    for (const auto& row : table.rows)
        for (size_t c = 0; c < widths.size() && c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    const auto line = [&](const std::vector<std::string>& cells) {
        for (size_t c = 0; c < widths.size(); ++c) {
            const std::string& cell = c < cells.size() ? cells[c] : std::string();
            if (c > 0) out << "  ";
            out << std::string(widths[c] - cell.size(), ' ') << cell;
        }
        out << '\n';
    };
    line(table.columns);
    for (const auto& row : table.rows) line(row);
}

namespace {

std::string csvCell(const std::string& cell) {
    if (cell.find_first_of(",\" \r\n") == std::string::npos) return cell;
    std::string quoted = "\"";
    for (char c : cell) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

void csvLine(std::ostream& out, const std::vector<std::string>& cells) {
    for (size_t c = 0; c < cells.size(); ++c) out << (c > 0 ? "," : "") << csvCell(cells[c]);
    out << '\n';
}

}  // namespace

void writeCsv(std::ostream& out, const Table& table) {
    csvLine(out, table.columns);
    for (const auto& row : table.rows) csvLine(out, row);
}

std::string characterText(char c) {
    const auto code = static_cast<unsigned char>(c);
    if (code > 32 && code < 127) return std::string(1, c);
    return "#" + std::to_string(code);
}

}  // namespace zortan::dump
