#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

namespace hvn::console {

// Report texts as blocks of rows, and the three text export formats written from them:
// comma-separated values, plain text in aligned columns, and an HTML page. Pure functions.

struct TextBlock {
    enum class Kind { Heading, Table };

    Kind kind = Kind::Table;
    QVector<QStringList> rows;
    // Tables: the alignment of each column (left when not given).
    QVector<Qt::Alignment> columnAlignment;
    int headerRows = 0; // leading rows of column titles
    int footerRows = 0; // trailing rows of totals

    Qt::Alignment alignment(int column) const;
};

using TextReport = QVector<TextBlock>;

// One line per row of every block, fields separated by "," with their surrounding blanks
// removed, quoted (doubling inner quotes) when they hold a comma, a quote or a line break.
// Lines end in CR LF, as spreadsheets expect.
QByteArray toCsv(const TextReport &report);
// Headings as lines; tables in columns padded to their widest cell (a full-width character
// counts two), aligned as the column says, two blanks apart. Blocks are separated by an empty
// line; lines end in LF and carry no trailing blanks.
QByteArray toPlainText(const TextReport &report);
// A complete UTF-8 HTML page titled `title`: headings as paragraphs, tables with their header
// rows as <th> and footer rows marked class="total".
QByteArray toHtml(const TextReport &report, const QString &title);

// Columns a text takes on a terminal: 2 for East Asian wide and full-width characters.
int displayWidth(const QString &text);

} // namespace hvn::console
