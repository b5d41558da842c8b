#include "CountParts.h"

#include <memory>

#include <qpdf/FileInputSource.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>

namespace hvn::cupsagent {

namespace {

// The file seen from offset on, so that a PDF behind a PJL header of any length reads as a
// PDF starting at byte 0.
class OffsetInputSource final : public InputSource {
public:
    OffsetInputSource(std::shared_ptr<InputSource> file, qpdf_offset_t offset)
        : m_file(std::move(file)), m_offset(offset)
    {
        m_file->seek(m_offset, SEEK_SET);
    }

    qpdf_offset_t findAndSkipNextEOL() override { return m_file->findAndSkipNextEOL() - m_offset; }
    std::string const &getName() const override { return m_file->getName(); }
    qpdf_offset_t tell() override { return m_file->tell() - m_offset; }
    void seek(qpdf_offset_t offset, int whence) override
    {
        if (whence == SEEK_SET)
            m_file->seek(offset + m_offset, SEEK_SET);
        else
            m_file->seek(offset, whence);
        if (m_file->tell() < m_offset)
            m_file->seek(m_offset, SEEK_SET);
    }
    void rewind() override { m_file->seek(m_offset, SEEK_SET); }
    size_t read(char *buffer, size_t length) override
    {
        const size_t n = m_file->read(buffer, length);
        last_offset = m_file->getLastOffset() - m_offset;
        return n;
    }
    void unreadCh(char ch) override { m_file->unreadCh(ch); }

private:
    std::shared_ptr<InputSource> m_file;
    qpdf_offset_t m_offset;
};

std::string oneLine(std::string text)
{
    for (char &c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

} // namespace

Counted countPdfPages(const std::string &path, std::uint64_t offset)
{
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        auto file = std::make_shared<FileInputSource>(path.c_str());
        if (offset == 0)
            pdf.processInputSource(file);
        else
            pdf.processInputSource(std::make_shared<OffsetInputSource>(file, static_cast<qpdf_offset_t>(offset)));
        const std::size_t found = pdf.getAllPages().size();
        if (pdf.anyWarnings()) {
            // A repaired file may have lost page objects that the page tree still declares.
            QPDFObjectHandle count = pdf.getRoot().getKey("/Pages").getKey("/Count");
            if (!count.isInteger() || count.getIntValue() != static_cast<long long>(found))
                return {std::nullopt, "damaged PDF: the repaired page tree holds " + std::to_string(found) +
                                          " pages but declares " +
                                          (count.isInteger() ? std::to_string(count.getIntValue()) : "no count")};
        }
        return {static_cast<int>(found), {}};
    } catch (const QPDFExc &e) {
        if (e.getErrorCode() == qpdf_e_password)
            return {std::nullopt, "encrypted PDF that needs a password"};
        return {std::nullopt, "unreadable PDF: " + oneLine(e.getMessageDetail())};
    } catch (const std::exception &e) {
        return {std::nullopt, "unreadable PDF: " + oneLine(e.what())};
    }
}

} // namespace hvn::cupsagent
