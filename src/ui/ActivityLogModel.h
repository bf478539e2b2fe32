// The activity list's model: one row per event of the current task's logger, holding no items.
//
// Rows are read from the logger when drawn. Appends are coalesced: the events of a burst (a backup
// thread hands its lines over in batches) become one insertion at most every 50 ms, so a run of
// many small files costs the main thread a few list updates a second, not one per batch;
// events the full logger dropped from its front become one removal of front rows, so a selected
// line keeps its event. Only a cleared list resets the model.
#pragma once

#include "core/log/TaskLogger.h"
#include "core/settings/Settings.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QPalette>
#include <QTimer>

#include <cstdint>
#include <optional>

namespace qv {

class ActivityLogModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { ColIcon, ColNumber, ColDate, ColTime, ColEvent, ColumnCount };
    static constexpr int KindRole = Qt::UserRole + 1;

    explicit ActivityLogModel(QObject *parent = nullptr);

    // The logger shown (null: no lines). Resets the model.
    void setLogger(const TTaskLogger *logger);
    const TTaskLogger *logger() const { return m_logger; }
    // Told about every change of any logger; acts on its own logger's only.
    void loggerChanged(const TTaskLogger &logger, LogChange change);
    // Brings the rows up to the logger now (normally done by a timer after appends).
    void sync();
    bool syncPending() const { return m_syncTimer.isActive(); }
    static constexpr int kSyncIntervalMs = 50;

    // Re-reads the colours by kind and the font from the log display settings.
    void refreshAppearance(const QPalette &palette);
    const QFont &logFont() const { return m_font; }

    // The Event text of row `row` (empty when the row's event is gone).
    QString eventText(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role) override;

signals:
    // Rows were appended (after coalescing).
    void rowsAppended();

private:
    const TLogItem *itemAt(int row) const;
    void resetTo(const TTaskLogger *logger);

    const TTaskLogger *m_logger = nullptr;
    int m_rows = 0;
    std::uint64_t m_seenDropped = 0;
    QTimer m_syncTimer;
    QString m_headers[ColumnCount];
    std::optional<QColor> m_fg[kLogKindCount];
    std::optional<QColor> m_bg[kLogKindCount];
    QFont m_font;
};

// The five colour pairs of the log display (general messages, processed files, skipped files,
// warnings, errors), as stored.
struct LogDisplayColours {
    enum Pair { Summary, Files, Skipping, Warnings, Errors, PairCount };
    TColor fg[PairCount];
    TColor bg[PairCount];
};
// The pairs of the log display settings.
LogDisplayColours logDisplayColoursFromSettings();
// The pair a log kind is drawn with (-1: none); the summary kinds share one.
int logColourPairOfKind(int kind);
// The colours a row of `kind` is drawn with under `colours`: nothing for a kind without a pair or a
// pair whose foreground is -1 (the list's own colours then).
struct LogRowColours {
    std::optional<QColor> fg;
    std::optional<QColor> bg;
};
LogRowColours logRowColours(const LogDisplayColours &colours, int kind, const QPalette &palette);

// The log font: LogFontName (an empty name becomes "Tahoma", and the setting keeps it) at
// LogFontSize points; a font this desktop lacks falls back to a similar one.
QFont logDisplayFont();
// The desktop's default font family: what an empty log font name becomes.
std::string desktopFontFamily();

} // namespace qv
