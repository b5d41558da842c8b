#pragma once

// Reading printed reports back as their user would: the PDF's text through pdftotext and its
// pixels through pdftoppm (poppler-utils).

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include "report/SaveFile.h"

namespace hvn::console::test {

inline QByteArray runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
    return process.readAllStandardOutput();
}

// The PDF's text as `pdftotext -layout` lays it out, runs of blanks and lines folded to one blank.
inline QString pdfText(const QByteArray &pdf, const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("text.pdf"));
    saveFileAtomically(path, pdf);
    return QString::fromUtf8(runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")}))
        .simplified();
}

// The first page at dpi dots per inch, as `pdftoppm` renders it.
inline QImage pdfPixels(const QByteArray &pdf, const QTemporaryDir &dir, int dpi)
{
    const QString path = dir.filePath(QStringLiteral("pixels.pdf"));
    saveFileAtomically(path, pdf);
    runTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"),
                                         QStringLiteral("-singlefile"), path, dir.filePath(QStringLiteral("page"))});
    return QImage(dir.filePath(QStringLiteral("page.png")));
}

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace hvn::console::test
