#include "archive/csvreader.h"

#include "archive/failurereason.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>

namespace {
constexpr int sniffRecords = 20;
} // namespace

bool CsvReader::open(const QString &path) {
    m_error.clear();
    QFile file(path);
    const QString reading = QStringLiteral("leggere");
    if (QFileInfo(path).isDir()) {
        m_error = FailureReason::told(FailureReason::ofErrno(EISDIR), reading, path);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = FailureReason::told(FailureReason::ofFile(file), reading, path);
        return false;
    }
    if (file.size() > maxBytes) {
        m_error = FailureReason::told(FailureReason::ofErrno(EFBIG), reading, path);
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_error = FailureReason::told(FailureReason::ofFile(file), reading, path);
        return false;
    }
    setBytes(bytes);
    return true;
}

void CsvReader::setBytes(const QByteArray &bytes) {
    m_pos = 0;
    auto decode = [&](QStringDecoder decoder, qsizetype skip) {
        m_text = decoder(QByteArrayView(bytes).sliced(skip));
        return !decoder.hasError();
    };
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        decode(QStringDecoder(QStringDecoder::Utf8), 3);
        m_encoding = QStringLiteral("UTF-8 con BOM");
    } else if (bytes.startsWith("\xFF\xFE")) {
        decode(QStringDecoder(QStringDecoder::Utf16LE), 2);
        m_encoding = QStringLiteral("UTF-16");
    } else if (bytes.startsWith("\xFE\xFF")) {
        decode(QStringDecoder(QStringDecoder::Utf16BE), 2);
        m_encoding = QStringLiteral("UTF-16");
    } else if (decode(QStringDecoder(QStringDecoder::Utf8), 0)) {
        m_encoding = QStringLiteral("UTF-8");
    } else {
        // Bytes that are no UTF-8 come from an older spreadsheet of the West: its code page.
        QStringDecoder cp1252("windows-1252");
        if (cp1252.isValid())
            decode(std::move(cp1252), 0);
        else
            m_text = QString::fromLatin1(bytes);
        m_encoding = QStringLiteral("Windows-1252");
    }
    m_separator = sniff();
}

QChar CsvReader::sniff() {
    QChar best = u';';
    double bestScore = 0;
    for (const QChar sep : {QChar(u';'), QChar(u','), QChar(u'\t')}) {
        qsizetype pos = 0;
        QList<qsizetype> counts;
        while (counts.size() < sniffRecords && parse(pos, sep))
            counts << m_fields.size();
        if (counts.isEmpty() || counts.first() < 2)
            continue;
        // The share of records that agree with the first, then the fields they make.
        const double same = double(counts.count(counts.first())) / counts.size();
        const double score = same * 1000 + qMin<qsizetype>(counts.first(), 999);
        if (score > bestScore) {
            bestScore = score;
            best = sep;
        }
    }
    m_fields.clear();
    return best;
}

bool CsvReader::next() {
    return parse(m_pos, m_separator);
}

bool CsvReader::blank() const {
    for (const QStringView f : m_fields)
        if (!f.trimmed().isEmpty())
            return false;
    return true;
}

bool CsvReader::parse(qsizetype &pos, QChar sep) {
    m_fields.clear();
    m_unquoted.clear();
    m_unclosed = false;
    const qsizetype n = m_text.size();
    if (pos >= n)
        return false;
    const QChar *t = m_text.constData();
    const char16_t s = sep.unicode();
    for (;;) {
        if (t[pos] != u'"') {
            const qsizetype start = pos;
            while (pos < n && t[pos] != s && t[pos] != u'\n' && t[pos] != u'\r')
                ++pos;
            m_fields << QStringView(t + start, pos - start);
        } else {
            // Quoted: up to the quote that is not doubled; anything after it, up to the
            // separator, is kept too (a spreadsheet would show it).
            const qsizetype start = ++pos;
            qsizetype plainEnd = -1;
            QString undone;
            bool changed = false;
            while (pos < n) {
                if (t[pos] == u'"') {
                    if (pos + 1 < n && t[pos + 1] == u'"') {
                        if (!changed)
                            undone = QString(t + start, pos - start);
                        changed = true;
                        undone += u'"';
                        pos += 2;
                        continue;
                    }
                    plainEnd = pos++;
                    break;
                }
                if (changed)
                    undone += t[pos];
                ++pos;
            }
            if (plainEnd < 0) {
                m_unclosed = true;
                plainEnd = n;
            }
            qsizetype tail = pos;
            while (tail < n && t[tail] != s && t[tail] != u'\n' && t[tail] != u'\r')
                ++tail;
            if (tail > pos) {
                if (!changed)
                    undone = QString(t + start, plainEnd - start);
                changed = true;
                undone.append(t + pos, tail - pos);
                pos = tail;
            }
            if (changed) {
                m_unquoted.push_back(std::move(undone));
                m_fields << QStringView(m_unquoted.back());
            } else {
                m_fields << QStringView(t + start, plainEnd - start);
            }
        }
        if (pos >= n)
            return true;
        if (t[pos] == s) {
            ++pos;
            if (pos >= n) { // a separator last: one more empty field
                m_fields << QStringView();
                return true;
            }
            continue;
        }
        // The end of the record: CR LF, LF or CR.
        if (t[pos] == u'\r' && pos + 1 < n && t[pos + 1] == u'\n')
            ++pos;
        ++pos;
        return true;
    }
}
