#pragma once

#include <QList>
#include <QString>
#include <functional>

// Where a report list's rows come from: how many there are and the text of each cell
// (column 0 is the row's own text). A source may know some texts only once it has read
// them: ready() tells, fetch() reads them for the rows about to be shown.
class ReportRows {
public:
    virtual ~ReportRows() = default;
    virtual qsizetype size() const = 0;
    virtual QString text(qsizetype row, int column) const = 0;
    // Whether the cell's text is `text`; a source may tell without making the text.
    virtual bool holds(qsizetype row, int column, const QString &text) const {
        return this->text(row, column) == text;
    }
    // How many texts the row has.
    virtual int width(qsizetype row) const = 0;

    // Whether the texts of this column may be known later than the row; only they wait for
    // ready() and fetch(). Other columns are known from the start.
    virtual bool late(int) const { return false; }
    // Whether every text of the row is known.
    virtual bool ready(qsizetype) const { return true; }
    // Reads the texts of these rows now.
    virtual void fetch(const QList<qsizetype> &) {}
    // Called between the parts of a long read with how many rows are read of how many.
    using Between = std::function<void(qsizetype done, qsizetype total)>;
    // Reads every text of the column now (a sort needs them all); with `between`, in parts.
    virtual void fetchColumn(int, const Between & = {}) {}
    // Whether every text of every row is known.
    virtual bool complete() const { return true; }
};
