// Build tool: turns a text table ("id<TAB>text" per line, UTF-8, '#' comments) into a
// binary string table: "STR0", count, sorted {id, offset, length} entries, UTF-16LE texts.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Entry {
    uint32_t id;
    std::u16string text;
};

bool Utf8ToUtf16(const std::string& in, std::u16string& out)
{
    for (size_t i = 0; i < in.size();) {
        const auto c = static_cast<unsigned char>(in[i]);
        uint32_t cp = 0;
        size_t n = 0;
        if (c < 0x80) { cp = c; n = 1; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; n = 2; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; n = 3; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; n = 4; }
        else return false;
        if (i + n > in.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(in[i + k]) & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += n;
    }
    return true;
}

void Put32(std::vector<unsigned char>& b, uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        b.push_back(static_cast<unsigned char>(v >> (8 * k)));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: str0gen input.txt output.str0\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "cannot read " << argv[1] << "\n";
        return 1;
    }
    std::vector<Entry> entries;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const auto tab = line.find('\t');
        Entry e{};
        try {
            e.id = static_cast<uint32_t>(std::stoul(line.substr(0, tab)));
        } catch (...) {
            std::cerr << argv[1] << ":" << lineNo << ": bad id\n";
            return 1;
        }
        if (tab == std::string::npos || !Utf8ToUtf16(line.substr(tab + 1), e.text)) {
            std::cerr << argv[1] << ":" << lineNo << ": bad text\n";
            return 1;
        }
        entries.push_back(std::move(e));
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.id < b.id; });
    for (size_t i = 1; i < entries.size(); ++i) {
        if (entries[i].id == entries[i - 1].id) {
            std::cerr << argv[1] << ": duplicate id " << entries[i].id << "\n";
            return 1;
        }
    }
    std::vector<unsigned char> out{'S', 'T', 'R', '0'};
    Put32(out, static_cast<uint32_t>(entries.size()));
    uint32_t offset = static_cast<uint32_t>(8 + 12 * entries.size());
    for (const Entry& e : entries) {
        Put32(out, e.id);
        Put32(out, offset);
        Put32(out, static_cast<uint32_t>(e.text.size()));
        offset += static_cast<uint32_t>(2 * e.text.size());
    }
    for (const Entry& e : entries) {
        for (char16_t ch : e.text) {
            out.push_back(static_cast<unsigned char>(ch & 0xFF));
            out.push_back(static_cast<unsigned char>(ch >> 8));
        }
    }
    std::ofstream o(argv[2], std::ios::binary | std::ios::trunc);
    o.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return o ? 0 : 1;
}
