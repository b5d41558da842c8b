#include "report/TextReport.h"

#include <algorithm>

namespace hvn::console {

namespace {

bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF)
        || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF)
        || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F)
        || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

QString csvField(const QString &text)
{
    const QString field = text.trimmed();
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) && !field.contains(QLatin1Char('\n'))
        && !field.contains(QLatin1Char('\r')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString padded(const QString &text, int width, Qt::Alignment alignment)
{
    const int gap = std::max(0, width - displayWidth(text));
    if (alignment & Qt::AlignRight)
        return QString(gap, QLatin1Char(' ')) + text;
    if (alignment & Qt::AlignHCenter)
        return QString(gap / 2, QLatin1Char(' ')) + text + QString(gap - gap / 2, QLatin1Char(' '));
    return text + QString(gap, QLatin1Char(' '));
}

QString htmlEscaped(const QString &text)
{
    return text.trimmed().toHtmlEscaped();
}

const char *htmlAlignment(Qt::Alignment alignment)
{
    if (alignment & Qt::AlignRight)
        return "right";
    if (alignment & Qt::AlignHCenter)
        return "center";
    return "left";
}

} // namespace

Qt::Alignment TextBlock::alignment(int column) const
{
    return column < columnAlignment.size() ? columnAlignment.at(column) : Qt::Alignment(Qt::AlignLeft);
}

int displayWidth(const QString &text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4())
        width += isWide(c) ? 2 : 1;
    return width;
}

QByteArray toCsv(const TextReport &report)
{
    QString out;
    for (const TextBlock &block : report) {
        for (const QStringList &row : block.rows) {
            QStringList fields;
            for (const QString &cell : row)
                fields.append(csvField(cell));
            out += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
        }
    }
    return out.toUtf8();
}

QByteArray toPlainText(const TextReport &report)
{
    QStringList lines;
    for (const TextBlock &block : report) {
        if (!lines.isEmpty())
            lines.append(QString());
        if (block.kind == TextBlock::Kind::Heading) {
            for (const QStringList &row : block.rows) {
                QStringList cells;
                for (const QString &cell : row)
                    cells.append(cell.trimmed());
                lines.append(cells.join(QStringLiteral("  ")));
            }
            continue;
        }
        QVector<int> widths;
        for (const QStringList &row : block.rows) {
            if (widths.size() < row.size())
                widths.resize(row.size());
            for (int column = 0; column < row.size(); ++column)
                widths[column] = std::max(widths[column], displayWidth(row.at(column).trimmed()));
        }
        for (const QStringList &row : block.rows) {
            QStringList cells;
            for (int column = 0; column < widths.size(); ++column) {
                const QString cell = column < row.size() ? row.at(column).trimmed() : QString();
                cells.append(padded(cell, widths.at(column), block.alignment(column)));
            }
            QString line = cells.join(QStringLiteral("  "));
            while (line.endsWith(QLatin1Char(' ')))
                line.chop(1);
            lines.append(line);
        }
    }
    QString out = lines.join(QLatin1Char('\n'));
    if (!lines.isEmpty())
        out += QLatin1Char('\n');
    return out.toUtf8();
}

QByteArray toHtml(const TextReport &report, const QString &title)
{
    QString out = QStringLiteral("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n<title>")
        + title.toHtmlEscaped()
        + QStringLiteral("</title>\n<style>\n"
                         "table { border-collapse: collapse; }\n"
                         "th, td { padding: 2px 8px; white-space: pre; }\n"
                         "th { border-bottom: 1px solid black; }\n"
                         "tr.total td { background: silver; border-top: 1px solid black; }\n"
                         "</style>\n</head>\n<body>\n");
    for (const TextBlock &block : report) {
        if (block.kind == TextBlock::Kind::Heading) {
            for (const QStringList &row : block.rows) {
                QStringList cells;
                for (const QString &cell : row)
                    cells.append(htmlEscaped(cell));
                out += QStringLiteral("<p>") + cells.join(QStringLiteral("&emsp;")) + QStringLiteral("</p>\n");
            }
            continue;
        }
        out += QStringLiteral("<table>\n");
        for (int r = 0; r < block.rows.size(); ++r) {
            const bool header = r < block.headerRows;
            const bool footer = r >= block.rows.size() - block.footerRows;
            out += footer ? QStringLiteral("<tr class=\"total\">") : QStringLiteral("<tr>");
            const QStringList &row = block.rows.at(r);
            for (int column = 0; column < row.size(); ++column) {
                const char *tag = header ? "th" : "td";
                out += QStringLiteral("<%1 style=\"text-align: %2\">%3</%1>")
                           .arg(QLatin1String(tag), QLatin1String(htmlAlignment(header ? Qt::AlignHCenter
                                                                                        : block.alignment(column))),
                                htmlEscaped(row.at(column)));
            }
            out += QStringLiteral("</tr>\n");
        }
        out += QStringLiteral("</table>\n");
    }
    out += QStringLiteral("</body>\n</html>\n");
    return out.toUtf8();
}

} // namespace hvn::console
