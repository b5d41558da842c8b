#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <QHash>
#include <QString>
#include <QVariant>

struct sqlite3_stmt;

namespace hvn::console {

// The rows of a query result, stored by column so that a grid over hundreds of thousands of
// print records costs a few dozen bytes per row instead of a QVariant per cell.
//
// Each column keeps one packed integer per row, in blocks whose byte width (1, 2, 4 or 8)
// grows with the values the block holds: integers as themselves, reals as their bit pattern,
// texts as codes into the column's table of distinct texts, and texts of the date/time form
// "YYYY-MM-DD HH:MM:SS.SSS" in a date/time column as their seventeen digits. NULLs are a bit
// per row; a value of another kind than the column's first (SQLite columns may mix kinds) is
// kept as it came. value() gives back exactly what the statement returned. clear() returns
// the memory to the system. Not thread safe; one thread at a time.
class CompactRows {
public:
    CompactRows() = default;
    ~CompactRows();
    CompactRows(const CompactRows &) = delete;
    CompactRows &operator=(const CompactRows &) = delete;
    CompactRows(CompactRows &&other) noexcept;
    CompactRows &operator=(CompactRows &&other) noexcept;

    // Forgets every row and sets the column count; dateTimeColumns[i] says whether column i
    // holds the date/time text form (others keep such texts as plain texts).
    void reset(const std::vector<bool> &dateTimeColumns);
    // Appends the statement's current row (after sqlite3_step gave SQLITE_ROW).
    void appendRow(sqlite3_stmt *stmt);
    void clear();

    int rowCount() const { return m_rows; }
    int columnCount() const { return static_cast<int>(m_columns.size()); }
    // NULL -> invalid QVariant; integers as qlonglong, reals as double, texts as QString,
    // blobs as QByteArray. Out of range -> invalid QVariant.
    QVariant value(int row, int column) const;
    // Heap bytes held for the rows (blocks, text tables, bitmaps), for benchmarks.
    std::size_t bytesUsed() const;

private:
    // Values per block: small enough that a block is rewritten cheaply when it widens, large
    // enough that the per-block bookkeeping is a rounding error.
    static constexpr int kBlockShift = 12;
    static constexpr int kBlockSize = 1 << kBlockShift;

    struct Block {
        int width = 1; // bytes per value
        std::unique_ptr<unsigned char[]> bytes;
        std::int64_t get(int index) const;
        void set(int index, std::int64_t v, int count);
    };

    enum class Kind : unsigned char { Unset, Integer, Real, Text, DateTime };

    // The distinct texts of a column and an open-addressing index from their UTF-8 bytes.
    // Each slot of the index carries its text's length and first bytes, so that a probe
    // settles most texts (and every short one) inside the slot without reading the texts.
    struct TextTable {
        static constexpr std::size_t kHeadBytes = 9;
        // What a slot says about a text besides its code: compared as one piece of memory.
        struct Key {
            std::uint16_t tag = 0;    // hash bits the slot position does not use
            std::uint8_t length = 0;  // byte length, capped at 255
            char head[kHeadBytes] = {}; // the first bytes, zero after the text's end
        };
        struct Slot {
            std::uint32_t code = 0; // code + 1; 0 = free
            Key key;
        };
        static_assert(sizeof(Slot) == 16 && std::has_unique_object_representations_v<Key>);

        std::vector<QString> texts;
        std::string bytes;                 // every distinct text's UTF-8, one after another
        std::vector<std::uint32_t> starts; // per code: where its bytes start; one more at the end
        std::vector<Slot> probes;
        std::int64_t codeOf(std::string_view utf8);

    private:
        // The text's key, and its hash through `hash`.
        static Key keyOf(std::string_view utf8, std::uint64_t &hash);
        std::string_view textOf(std::uint32_t code) const;
        void grow();
    };

    struct Column {
        bool dateTime = false;
        Kind kind = Kind::Unset;
        std::vector<Block> blocks;
        std::vector<std::uint64_t> nulls;  // allocated at the first NULL
        std::vector<std::uint64_t> others; // rows whose value sits in `otherValues`
        QHash<int, QVariant> otherValues;
        std::unique_ptr<TextTable> text;
    };

    void appendValue(Column &column, sqlite3_stmt *stmt, int index);
    void put(Column &column, std::int64_t v);
    static void setBit(std::vector<std::uint64_t> &bits, int row);
    static bool bit(const std::vector<std::uint64_t> &bits, int row);

    std::vector<Column> m_columns;
    int m_rows = 0;
};

} // namespace hvn::console
