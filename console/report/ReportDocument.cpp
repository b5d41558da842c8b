#include "report/ReportDocument.h"

#include <map>
#include <stdexcept>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace hvn::console {

namespace {

const QString kFormatTag = QStringLiteral("halvane-report");
constexpr int kFormatVersion = 1;

[[noreturn]] void fail(const char *reason)
{
    throw std::runtime_error(std::string("not a report file: ") + reason);
}

const char *kindName(ReportElement::Kind kind)
{
    switch (kind) {
    case ReportElement::Kind::Text:
        return "text";
    case ReportElement::Kind::Fill:
        return "fill";
    case ReportElement::Kind::Rule:
        return "rule";
    }
    return "text";
}

ReportElement::Kind kindFromName(const QString &name)
{
    if (name == QLatin1String("text"))
        return ReportElement::Kind::Text;
    if (name == QLatin1String("fill"))
        return ReportElement::Kind::Fill;
    if (name == QLatin1String("rule"))
        return ReportElement::Kind::Rule;
    fail("unknown element kind");
}

QJsonArray numbers(std::initializer_list<double> values)
{
    QJsonArray array;
    for (const double v : values)
        array.append(v);
    return array;
}

QVector<double> readNumbers(const QJsonValue &value, int count)
{
    const QJsonArray array = value.toArray();
    if (array.size() != count)
        fail("bad number list");
    QVector<double> out;
    for (const QJsonValue &v : array) {
        if (!v.isDouble())
            fail("bad number");
        out.append(v.toDouble());
    }
    return out;
}

int readInt(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble() || value.toDouble() < 0 || value.toDouble() > 1000000)
        fail("bad integer");
    return value.toInt();
}

QJsonObject elementJson(const ReportElement &e)
{
    QJsonObject o;
    o[QStringLiteral("kind")] = QLatin1String(kindName(e.kind));
    o[QStringLiteral("rect")] = numbers({e.rect.x(), e.rect.y(), e.rect.width(), e.rect.height()});
    o[QStringLiteral("colour")] = e.colour.isValid() ? e.colour.name(QColor::HexArgb) : QString();
    o[QStringLiteral("lineWidth")] = e.lineWidth;
    o[QStringLiteral("text")] = e.text;
    o[QStringLiteral("font")] = e.fontFamily;
    o[QStringLiteral("pointSize")] = e.pointSize;
    o[QStringLiteral("alignment")] = static_cast<int>(e.alignment.toInt());
    o[QStringLiteral("ruleBelow")] = e.ruleBelow;
    o[QStringLiteral("band")] = e.band;
    o[QStringLiteral("row")] = e.row;
    o[QStringLiteral("column")] = e.column;
    return o;
}

ReportElement elementFromJson(const QJsonObject &o, int bandCount)
{
    ReportElement e;
    e.kind = kindFromName(o.value(QStringLiteral("kind")).toString());
    const QVector<double> r = readNumbers(o.value(QStringLiteral("rect")), 4);
    e.rect = QRectF(r[0], r[1], r[2], r[3]);
    const QString colour = o.value(QStringLiteral("colour")).toString();
    if (!colour.isEmpty()) {
        e.colour = QColor::fromString(colour);
        if (!e.colour.isValid())
            fail("bad colour");
    }
    e.lineWidth = o.value(QStringLiteral("lineWidth")).toDouble(0.3);
    e.text = o.value(QStringLiteral("text")).toString();
    e.fontFamily = o.value(QStringLiteral("font")).toString();
    e.pointSize = o.value(QStringLiteral("pointSize")).toDouble(9.0);
    if (e.kind == ReportElement::Kind::Text && !(e.pointSize > 0.0 && e.pointSize < 1000.0))
        fail("bad font size");
    e.alignment = Qt::Alignment::fromInt(o.value(QStringLiteral("alignment")).toInt());
    e.ruleBelow = o.value(QStringLiteral("ruleBelow")).toBool();
    e.band = readInt(o, "band");
    e.row = readInt(o, "row");
    e.column = readInt(o, "column");
    if (e.kind == ReportElement::Kind::Text && e.band >= bandCount)
        fail("text outside its bands");
    return e;
}

} // namespace

QByteArray ReportDocument::toFile() const
{
    QJsonObject root;
    root[QStringLiteral("format")] = kFormatTag;
    root[QStringLiteral("version")] = kFormatVersion;
    root[QStringLiteral("title")] = title;
    root[QStringLiteral("paper")] = numbers({paperSize.width(), paperSize.height()});
    root[QStringLiteral("margins")] = numbers({margins.left(), margins.top(), margins.right(), margins.bottom()});
    QJsonArray pageArray;
    for (const ReportPage &page : pages) {
        QJsonArray bandArray;
        for (const ReportBand &band : page.bands)
            bandArray.append(QJsonObject{{QStringLiteral("table"), band.table},
                                         {QStringLiteral("headerRows"), band.headerRows},
                                         {QStringLiteral("footerRows"), band.footerRows}});
        QJsonArray elementArray;
        for (const ReportElement &element : page.elements)
            elementArray.append(elementJson(element));
        pageArray.append(QJsonObject{{QStringLiteral("bands"), bandArray}, {QStringLiteral("elements"), elementArray}});
    }
    root[QStringLiteral("pages")] = pageArray;
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

ReportDocument ReportDocument::fromFile(const QByteArray &data)
{
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !json.isObject())
        fail("not JSON");
    const QJsonObject root = json.object();
    if (root.value(QStringLiteral("format")).toString() != kFormatTag)
        fail("wrong format tag");
    if (root.value(QStringLiteral("version")).toInt() != kFormatVersion)
        fail("unsupported version");

    ReportDocument doc;
    doc.title = root.value(QStringLiteral("title")).toString();
    const QVector<double> paper = readNumbers(root.value(QStringLiteral("paper")), 2);
    if (!(paper[0] > 0 && paper[0] < 10000 && paper[1] > 0 && paper[1] < 10000))
        fail("bad paper size");
    doc.paperSize = QSizeF(paper[0], paper[1]);
    const QVector<double> m = readNumbers(root.value(QStringLiteral("margins")), 4);
    doc.margins = QMarginsF(m[0], m[1], m[2], m[3]);
    const QJsonArray pageArray = root.value(QStringLiteral("pages")).toArray();
    if (pageArray.isEmpty())
        fail("no pages");
    for (const QJsonValue &pageValue : pageArray) {
        const QJsonObject pageObject = pageValue.toObject();
        ReportPage page;
        for (const QJsonValue &bandValue : pageObject.value(QStringLiteral("bands")).toArray()) {
            const QJsonObject b = bandValue.toObject();
            page.bands.append({b.value(QStringLiteral("table")).toBool(), readInt(b, "headerRows"),
                               readInt(b, "footerRows")});
        }
        for (const QJsonValue &elementValue : pageObject.value(QStringLiteral("elements")).toArray()) {
            if (!elementValue.isObject())
                fail("bad element");
            page.elements.append(elementFromJson(elementValue.toObject(), page.bands.size()));
        }
        doc.pages.append(page);
    }
    return doc;
}

TextReport ReportDocument::textReport() const
{
    TextReport report;
    for (const ReportPage &page : pages) {
        for (int b = 0; b < page.bands.size(); ++b) {
            std::map<int, std::map<int, const ReportElement *>> cells; // row -> column -> text
            for (const ReportElement &e : page.elements)
                if (e.kind == ReportElement::Kind::Text && e.band == b)
                    cells[e.row][e.column] = &e;
            if (cells.empty())
                continue;
            int columns = 0;
            for (const auto &[row, byColumn] : cells)
                columns = std::max(columns, byColumn.rbegin()->first + 1);
            TextBlock block;
            const ReportBand &band = page.bands.at(b);
            block.kind = band.table ? TextBlock::Kind::Table : TextBlock::Kind::Heading;
            block.headerRows = band.headerRows;
            block.footerRows = band.footerRows;
            block.columnAlignment.resize(columns);
            for (const auto &[row, byColumn] : cells) {
                QStringList line;
                for (int column = 0; column < columns; ++column) {
                    const auto it = byColumn.find(column);
                    if (it == byColumn.end()) {
                        line.append(QString());
                        continue;
                    }
                    line.append(it->second->text);
                    block.columnAlignment[column] = it->second->alignment & Qt::AlignHorizontal_Mask;
                }
                if (!band.table)
                    while (!line.isEmpty() && line.last().isEmpty())
                        line.removeLast();
                block.rows.append(line);
            }
            report.append(block);
        }
    }
    return report;
}

} // namespace hvn::console
