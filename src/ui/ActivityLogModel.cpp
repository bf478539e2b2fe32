// The activity list's model.
#include "ui/ActivityLogModel.h"

#include "components/TColorConversion.h"
#include "core/settings/DateTime.h"
#include "core/settings/Settings.h"
#include "core/text/LocaleText.h"

#include <QFontDatabase>


namespace qv {

LogDisplayColours logDisplayColoursFromSettings()
{
    LogDisplayColours c{};
    const TColor fg[] = {LogSummaryColorFg, LogFilesColorFg, LogSkippingColorFg, LogWarningsColorFg, LogErrorsColorFg};
    const TColor bg[] = {LogSummaryColorBg, LogFilesColorBg, LogSkippingColorBg, LogWarningsColorBg, LogErrorsColorBg};
    for (int i = 0; i < LogDisplayColours::PairCount; ++i) {
        c.fg[i] = fg[i];
        c.bg[i] = bg[i];
    }
    return c;
}

int logColourPairOfKind(int kind)
{
    switch (kind) {
    case kLogStarted:
    case kLogFinished:
    case kLogAborted:
    case kLogInformation:
        return LogDisplayColours::Summary;
    case kLogFile:
        return LogDisplayColours::Files;
    case kLogSkipped:
        return LogDisplayColours::Skipping;
    case kLogWarning:
        return LogDisplayColours::Warnings;
    case kLogError:
        return LogDisplayColours::Errors;
    default:
        return -1;
    }
}

LogRowColours logRowColours(const LogDisplayColours &colours, int kind, const QPalette &palette)
{
    const int pair = logColourPairOfKind(kind);
    // A foreground of -1 leaves the kind's lines in the list's own colours.
    if (pair < 0 || colours.fg[pair] == kTColorNone) {
        return {};
    }
    return {colorFromTColor(colours.fg[pair], palette), colorFromTColor(colours.bg[pair], palette)};
}

std::string desktopFontFamily()
{
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family().toStdString();
}

QFont logDisplayFont()
{
    if (LogFontName.empty()) {
        LogFontName = desktopFontFamily();
    }
    QFont font(QString::fromStdString(LogFontName));
    if (LogFontSize > 0) {
        font.setPointSize(LogFontSize);
    }
    return font;
}

ActivityLogModel::ActivityLogModel(QObject *parent) : QAbstractTableModel(parent)
{
    m_headers[ColIcon] = QStringLiteral(" ");
    m_headers[ColNumber] = QStringLiteral("N");
    m_headers[ColDate] = QStringLiteral("Date");
    m_headers[ColTime] = QStringLiteral("Time");
    m_headers[ColEvent] = QStringLiteral("Event");
    refreshAppearance(QPalette());
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(kSyncIntervalMs);
    connect(&m_syncTimer, &QTimer::timeout, this, &ActivityLogModel::sync);
}

void ActivityLogModel::resetTo(const TTaskLogger *logger)
{
    m_syncTimer.stop();
    beginResetModel();
    m_logger = logger;
    m_rows = logger != nullptr ? static_cast<int>(logger->Count()) : 0;
    m_seenDropped = logger != nullptr ? logger->DroppedCount() : 0;
    endResetModel();
}

void ActivityLogModel::setLogger(const TTaskLogger *logger)
{
    resetTo(logger);
    if (m_rows > 0) {
        emit rowsAppended();
    }
}

void ActivityLogModel::loggerChanged(const TTaskLogger &logger, LogChange change)
{
    if (&logger != m_logger) {
        return;
    }
    if (change == LogChange::Reset) {
        resetTo(m_logger);
        return;
    }
    if (change == LogChange::Destroyed) {
        resetTo(nullptr);
        return;
    }
    if (!m_syncTimer.isActive()) {
        m_syncTimer.start();
    }
}

void ActivityLogModel::sync()
{
    m_syncTimer.stop();
    if (m_logger == nullptr) {
        return;
    }
    const std::uint64_t dropped = m_logger->DroppedCount() - m_seenDropped;
    if (dropped > 0) {
        const int front = static_cast<int>(std::min<std::uint64_t>(dropped, static_cast<std::uint64_t>(m_rows)));
        if (front > 0) {
            beginRemoveRows({}, 0, front - 1);
            m_rows -= front;
            m_seenDropped += dropped;
            endRemoveRows();
        } else {
            m_seenDropped += dropped;
        }
    }
    const int count = static_cast<int>(m_logger->Count());
    if (count > m_rows) {
        beginInsertRows({}, m_rows, count - 1);
        m_rows = count;
        endInsertRows();
        emit rowsAppended();
    } else if (count < m_rows) {
        resetTo(m_logger);
    }
}

void ActivityLogModel::refreshAppearance(const QPalette &palette)
{
    const LogDisplayColours colours = logDisplayColoursFromSettings();
    for (int kind = 0; kind < kLogKindCount; ++kind) {
        const LogRowColours row = logRowColours(colours, kind, palette);
        m_fg[kind] = row.fg;
        m_bg[kind] = row.bg;
    }
    m_font = logDisplayFont();
    if (m_rows > 0) {
        emit dataChanged(index(0, 0), index(m_rows - 1, ColumnCount - 1));
    }
}

const TLogItem *ActivityLogModel::itemAt(int row) const
{
    if (m_logger == nullptr || row < 0 || row >= m_rows) {
        return nullptr;
    }
    // Events dropped since the last sync shift the logger's indices against the rows.
    const std::uint64_t pending = m_logger->DroppedCount() - m_seenDropped;
    if (static_cast<std::uint64_t>(row) < pending) {
        return nullptr;
    }
    const std::size_t at = static_cast<std::size_t>(row) - static_cast<std::size_t>(pending);
    return at < m_logger->Count() ? &m_logger->Events()[at] : nullptr;
}

QString ActivityLogModel::eventText(int row) const
{
    const TLogItem *item = itemAt(row);
    return item != nullptr ? QString::fromStdString(item->Text) : QString();
}

int ActivityLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int ActivityLogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ActivityLogModel::data(const QModelIndex &index, int role) const
{
    const TLogItem *item = itemAt(index.row());
    if (item == nullptr) {
        return {};
    }
    const int kind = item->Kind >= 0 && item->Kind < kLogKindCount ? item->Kind : -1;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case ColIcon:
            return QStringLiteral(" ");
        case ColNumber:
            return QString::number(index.row() + 1);
        case ColDate:
            return QString::fromStdString(shortDateText(fromDayCount(item->Time).date()));
        case ColTime:
            return QString::fromStdString(longTimeText(fromDayCount(item->Time).time()));
        case ColEvent:
            return QString::fromStdString(item->Text);
        default:
            return {};
        }
    case Qt::ForegroundRole:
        return kind >= 0 && m_fg[kind] ? QVariant(*m_fg[kind]) : QVariant();
    case Qt::BackgroundRole:
        return kind >= 0 && m_bg[kind] ? QVariant(*m_bg[kind]) : QVariant();
    case Qt::FontRole:
        return m_font;
    case KindRole:
        return item->Kind;
    default:
        return {};
    }
}

QVariant ActivityLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount) {
        return m_headers[section];
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool ActivityLogModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::EditRole) || section < 0 ||
        section >= ColumnCount) {
        return false;
    }
    m_headers[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

} // namespace qv
