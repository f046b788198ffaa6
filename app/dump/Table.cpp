#include "app/dump/Table.h"

#include <algorithm>

namespace zortan::dump {

void writeFields(std::ostream& out, const std::vector<Field>& fields) {
    size_t width = 0;
    for (const Field& f : fields) width = std::max(width, f.key.size());
    for (const Field& f : fields)
        out << f.key << ':' << std::string(width - f.key.size() + 2, ' ') << f.value << '\n';
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

}  // namespace

void RowWriter::header(const Table& table) {
    widths_.assign(table.columns.size(), 0);
    for (size_t c = 0; c < widths_.size(); ++c)
        widths_[c] =
            std::max(table.columns[c].size(), c < table.widths.size() ? table.widths[c] : 0);
    row(table.columns);
}

void RowWriter::row(const std::vector<std::string>& cells) {
    for (size_t c = 0; c < cells.size(); ++c) {
        if (csv_) {
            out_ << (c > 0 ? "," : "") << csvCell(cells[c]);
            continue;
        }
        const size_t width = c < widths_.size() ? widths_[c] : 0;
        out_ << (c > 0 ? "  " : "") << std::string(width - std::min(width, cells[c].size()), ' ')
             << cells[c];
    }
    out_ << '\n';
}

std::vector<size_t> widthsOfRows(const Table& table) {
    std::vector<size_t> widths(table.columns.size());
    for (const auto& row : table.rows)
        for (size_t c = 0; c < widths.size() && c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    return widths;
}

std::string characterText(char c) {
    const auto code = static_cast<unsigned char>(c);
    if (code > 32 && code < 127) return std::string(1, c);
    return "#" + std::to_string(code);
}

}  // namespace zortan::dump
