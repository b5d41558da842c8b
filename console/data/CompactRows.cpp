#include "data/CompactRows.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include <QByteArray>

#include <sqlite3.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace hvn::console {

namespace {

// Above this, giving rows back also hands the freed heap pages to the system: a grid of a
// million rows leaves no resident memory behind once it is closed.
constexpr std::size_t kTrimAbove = std::size_t{1} << 20;

constexpr char kDateTimeShape[] = "0000-00-00 00:00:00.000";
constexpr int kDateTimeLength = sizeof kDateTimeShape - 1;

// The seventeen digits of "YYYY-MM-DD HH:MM:SS.SSS" as one decimal number; -1 when the text
// does not have exactly that shape. Any digits pack, so unpacking gives the same text back.
std::int64_t packDateTime(const unsigned char *text, int length)
{
    static constexpr int kDigitAt[] = {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 22};
    if (length != kDateTimeLength || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':' || text[19] != '.')
        return -1;
    std::int64_t packed = 0;
    for (const int at : kDigitAt) {
        const unsigned digit = static_cast<unsigned>(text[at]) - '0';
        if (digit > 9)
            return -1;
        packed = packed * 10 + digit;
    }
    return packed;
}

QString unpackDateTime(std::int64_t packed)
{
    char text[kDateTimeLength];
    for (int i = kDateTimeLength - 1; i >= 0; --i) {
        if (kDateTimeShape[i] == '0') {
            text[i] = static_cast<char>('0' + packed % 10);
            packed /= 10;
        } else {
            text[i] = kDateTimeShape[i];
        }
    }
    return QString::fromLatin1(text, kDateTimeLength);
}

int widthFor(std::int64_t v)
{
    if (v >= INT8_MIN && v <= INT8_MAX)
        return 1;
    if (v >= INT16_MIN && v <= INT16_MAX)
        return 2;
    if (v >= INT32_MIN && v <= INT32_MAX)
        return 4;
    return 8;
}

std::int64_t load(const unsigned char *p, int width)
{
    switch (width) {
    case 1:
        return static_cast<std::int8_t>(*p);
    case 2: {
        std::int16_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    case 4: {
        std::int32_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    default: {
        std::int64_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    }
}

void store(unsigned char *p, int width, std::int64_t v)
{
    switch (width) {
    case 1:
        *p = static_cast<unsigned char>(static_cast<std::int8_t>(v));
        break;
    case 2: {
        const auto n = static_cast<std::int16_t>(v);
        std::memcpy(p, &n, sizeof n);
        break;
    }
    case 4: {
        const auto n = static_cast<std::int32_t>(v);
        std::memcpy(p, &n, sizeof n);
        break;
    }
    default:
        std::memcpy(p, &v, sizeof v);
        break;
    }
}

QVariant plainValue(sqlite3_stmt *stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
        return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(stmt, column)));
    }
    case SQLITE_BLOB: {
        const auto *data = static_cast<const char *>(sqlite3_column_blob(stmt, column));
        return QVariant(QByteArray(data, sqlite3_column_bytes(stmt, column)));
    }
    default:
        return QVariant();
    }
}

} // namespace

std::int64_t CompactRows::Block::get(int index) const
{
    return load(bytes.get() + static_cast<std::size_t>(index) * width, width);
}

void CompactRows::Block::set(int index, std::int64_t v, int count)
{
    // Fast path: the value fits the block's width (v sign-extends from its low `width` bytes).
    if (bytes && (width == 8 ||
                  (static_cast<std::uint64_t>(v) + (std::uint64_t{1} << (8 * width - 1))) >> (8 * width) == 0)) {
        store(bytes.get() + static_cast<std::size_t>(index) * width, width, v);
        return;
    }
    const int needed = widthFor(v);
    if (!bytes || needed > width) {
        const int newWidth = std::max(needed, width);
        auto wider = std::make_unique<unsigned char[]>(static_cast<std::size_t>(kBlockSize) * newWidth);
        for (int i = 0; i < count; ++i)
            store(wider.get() + static_cast<std::size_t>(i) * newWidth, newWidth, get(i));
        bytes = std::move(wider);
        width = newWidth;
    }
    store(bytes.get() + static_cast<std::size_t>(index) * width, width, v);
}

namespace {

std::uint64_t mix(std::uint64_t h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    return h ^ (h >> 33);
}

} // namespace

// The key's length and head, then the bytes past the head, taken eight at a time: the head
// is zero after a short text's end and the length is part of the hash, so the words stand
// for the text alone.
CompactRows::TextTable::Key CompactRows::TextTable::keyOf(std::string_view utf8, std::uint64_t &hash)
{
    Key key;
    key.length = static_cast<std::uint8_t>(std::min<std::size_t>(utf8.size(), 255));
    if (!utf8.empty())
        std::memcpy(key.head, utf8.data(), std::min(utf8.size(), kHeadBytes));
    std::uint64_t first;
    std::memcpy(&first, key.head, sizeof first);
    std::uint64_t h = first * 0x9e3779b97f4a7c15ULL ^
        (static_cast<std::uint64_t>(static_cast<unsigned char>(key.head[8])) |
         static_cast<std::uint64_t>(utf8.size()) << 8);
    for (std::size_t at = kHeadBytes; at < utf8.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, utf8.data() + at, std::min<std::size_t>(8, utf8.size() - at));
        h = (h ^ mix(word)) * 0x9e3779b97f4a7c15ULL;
    }
    hash = mix(h);
    key.tag = static_cast<std::uint16_t>(hash >> 48);
    return key;
}

std::string_view CompactRows::TextTable::textOf(std::uint32_t code) const
{
    return std::string_view(bytes).substr(starts[code], starts[code + 1] - starts[code]);
}

std::int64_t CompactRows::TextTable::codeOf(std::string_view utf8)
{
    if (starts.empty())
        starts.push_back(0);
    if (4 * (texts.size() + 1) > 3 * probes.size())
        grow();
    std::uint64_t hash;
    const Key key = keyOf(utf8, hash);
    // Equal keys settle texts up to kHeadBytes long; longer ones also compare their rest.
    const bool whole = utf8.size() <= kHeadBytes;
    const std::size_t mask = probes.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot &slot = probes[i];
        if (slot.code == 0) {
            const auto code = static_cast<std::uint32_t>(texts.size());
            texts.push_back(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
            bytes.append(utf8);
            starts.push_back(static_cast<std::uint32_t>(bytes.size()));
            slot.code = code + 1;
            slot.key = key;
            return code;
        }
        if (std::memcmp(&slot.key, &key, sizeof key) == 0 && (whole || textOf(slot.code - 1) == utf8))
            return slot.code - 1;
    }
}

void CompactRows::TextTable::grow()
{
    std::vector<Slot> wider(std::max<std::size_t>(64, probes.size() * 2));
    const std::size_t mask = wider.size() - 1;
    for (std::uint32_t code = 0; code < texts.size(); ++code) {
        std::uint64_t hash;
        const Key key = keyOf(textOf(code), hash);
        std::size_t i = hash & mask;
        while (wider[i].code != 0)
            i = (i + 1) & mask;
        wider[i].code = code + 1;
        wider[i].key = key;
    }
    probes = std::move(wider);
}

CompactRows::~CompactRows()
{
    clear();
}

CompactRows::CompactRows(CompactRows &&other) noexcept
    : m_columns(std::move(other.m_columns)), m_rows(std::exchange(other.m_rows, 0))
{
    other.m_columns.clear();
}

CompactRows &CompactRows::operator=(CompactRows &&other) noexcept
{
    if (this != &other) {
        clear();
        m_columns = std::move(other.m_columns);
        m_rows = std::exchange(other.m_rows, 0);
        other.m_columns.clear();
    }
    return *this;
}

void CompactRows::reset(const std::vector<bool> &dateTimeColumns)
{
    clear();
    m_columns.resize(dateTimeColumns.size());
    for (std::size_t i = 0; i < dateTimeColumns.size(); ++i)
        m_columns[i].dateTime = dateTimeColumns[i];
}

void CompactRows::clear()
{
    const std::size_t released = bytesUsed();
    std::vector<Column>().swap(m_columns);
    m_rows = 0;
#if defined(__GLIBC__)
    if (released > kTrimAbove)
        ::malloc_trim(0);
#endif
}

void CompactRows::setBit(std::vector<std::uint64_t> &bits, int row)
{
    const auto word = static_cast<std::size_t>(row) / 64;
    if (bits.size() <= word)
        bits.resize(word + 1 + bits.size() / 2, 0);
    bits[word] |= std::uint64_t{1} << (row % 64);
}

bool CompactRows::bit(const std::vector<std::uint64_t> &bits, int row)
{
    const auto word = static_cast<std::size_t>(row) / 64;
    return word < bits.size() && (bits[word] >> (row % 64)) & 1;
}

void CompactRows::put(Column &column, std::int64_t v)
{
    const int blockIndex = m_rows >> kBlockShift;
    const int index = m_rows & (kBlockSize - 1);
    if (static_cast<int>(column.blocks.size()) <= blockIndex)
        column.blocks.emplace_back();
    column.blocks[static_cast<std::size_t>(blockIndex)].set(index, v, index);
}

void CompactRows::appendValue(Column &column, sqlite3_stmt *stmt, int index)
{
    const int type = sqlite3_column_type(stmt, index);
    if (type == SQLITE_NULL) {
        setBit(column.nulls, m_rows);
        put(column, 0);
        return;
    }
    if (column.kind == Kind::Unset) {
        if (type == SQLITE_INTEGER) {
            column.kind = Kind::Integer;
        } else if (type == SQLITE_FLOAT) {
            column.kind = Kind::Real;
        } else if (type == SQLITE_TEXT) {
            const bool packs = column.dateTime &&
                packDateTime(sqlite3_column_text(stmt, index), sqlite3_column_bytes(stmt, index)) >= 0;
            column.kind = packs ? Kind::DateTime : Kind::Text;
            if (!packs)
                column.text = std::make_unique<TextTable>();
        }
    }
    std::int64_t slot = 0;
    bool fits = false;
    switch (column.kind) {
    case Kind::Integer:
        fits = type == SQLITE_INTEGER;
        if (fits)
            slot = sqlite3_column_int64(stmt, index);
        break;
    case Kind::Real:
        fits = type == SQLITE_FLOAT;
        if (fits)
            slot = std::bit_cast<std::int64_t>(sqlite3_column_double(stmt, index));
        break;
    case Kind::DateTime:
        if (type == SQLITE_TEXT) {
            slot = packDateTime(sqlite3_column_text(stmt, index), sqlite3_column_bytes(stmt, index));
            fits = slot >= 0;
        }
        break;
    case Kind::Text:
        fits = type == SQLITE_TEXT;
        if (fits) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, index));
            slot = column.text->codeOf(
                std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, index))));
        }
        break;
    case Kind::Unset:
        break;
    }
    if (!fits) {
        setBit(column.others, m_rows);
        column.otherValues.insert(m_rows, plainValue(stmt, index));
        slot = 0;
    }
    put(column, slot);
}

void CompactRows::appendRow(sqlite3_stmt *stmt)
{
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        appendValue(m_columns[i], stmt, static_cast<int>(i));
    ++m_rows;
}

QVariant CompactRows::value(int row, int column) const
{
    if (row < 0 || row >= m_rows || column < 0 || column >= columnCount())
        return QVariant();
    const Column &c = m_columns[static_cast<std::size_t>(column)];
    if (bit(c.nulls, row))
        return QVariant();
    if (bit(c.others, row))
        return c.otherValues.value(row);
    const std::int64_t slot =
        c.blocks[static_cast<std::size_t>(row >> kBlockShift)].get(row & (kBlockSize - 1));
    switch (c.kind) {
    case Kind::Integer:
        return QVariant(static_cast<qlonglong>(slot));
    case Kind::Real:
        return QVariant(std::bit_cast<double>(slot));
    case Kind::DateTime:
        return QVariant(unpackDateTime(slot));
    case Kind::Text:
        return QVariant(c.text->texts[static_cast<std::size_t>(slot)]);
    case Kind::Unset:
        break;
    }
    return QVariant();
}

std::size_t CompactRows::bytesUsed() const
{
    std::size_t bytes = m_columns.capacity() * sizeof(Column);
    for (const Column &c : m_columns) {
        bytes += c.blocks.capacity() * sizeof(Block);
        for (const Block &b : c.blocks)
            bytes += b.bytes ? static_cast<std::size_t>(kBlockSize) * b.width : 0;
        bytes += (c.nulls.capacity() + c.others.capacity()) * sizeof(std::uint64_t);
        bytes += static_cast<std::size_t>(c.otherValues.size()) * (sizeof(int) + sizeof(QVariant) + 16);
        if (c.text) {
            for (const QString &t : c.text->texts)
                bytes += sizeof(QString) + static_cast<std::size_t>(t.size()) * 2 + 2;
            bytes += c.text->bytes.capacity() + c.text->starts.capacity() * sizeof(std::uint32_t) +
                c.text->probes.capacity() * sizeof(TextTable::Slot);
        }
    }
    return bytes;
}

} // namespace hvn::console
