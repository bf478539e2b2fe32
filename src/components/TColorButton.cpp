// TColorButton: a push button showing a colour swatch; a click drops down the colour palette.
#include "components/TColorButton.h"

#include "components/TColorButtonPalette.h"
#include "components/TColorConversion.h"
#include "core/settings/SafeRegistry.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace qv {

namespace {

constexpr TColor kWhite = 0x00FFFFFFu;
constexpr TColor kBtnFace = kTColorSystemBase + 15;

QColor systemColor(int index, const QPalette &palette)
{
    return colorFromTColor(kTColorSystemBase + static_cast<TColor>(index), palette).value_or(Qt::gray);
}

// One stored entry: "$" and hex digits, or a decimal number; nothing when unreadable.
std::optional<TColor> parseEntry(const std::string &s)
{
    if (s.empty()) {
        return std::nullopt;
    }
    const bool hex = s[0] == '$';
    const std::string digits = hex ? s.substr(1) : s;
    if (digits.empty() || (hex && digits.size() > 8)) {
        return std::nullopt;
    }
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(digits.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || end == nullptr || *end != '\0' || (hex && (digits[0] == '-' || digits[0] == '+')) ||
        v < INT32_MIN || v > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<TColor>(static_cast<std::uint32_t>(v));
}

} // namespace

TColorButton::TColorButton(QWidget *parent) : QPushButton(parent), OtherColor(kBtnFace), m_color(0)
{
    m_arrow = QPixmap(QStringLiteral(":/icons/bitmaps/COLORBTN_ARROW_BMP.png"));
    m_arrowDisabled = QPixmap(QStringLiteral(":/icons/bitmaps/COLORBTN_ARROW_DISABLED_BMP.png"));
    setText(QString());
    InitPaletteColors();
    resize(45, 22);
    setMinimumSize(30, 16);
    QObject::connect(this, &QPushButton::clicked, this, [this] { Click(); });
}

TColorButton::~TColorButton()
{
    if (m_palette != nullptr) {
        m_palette->OnClose = nullptr;
        m_palette->OnSelect = nullptr;
    }
    SaveCustomColors();
}

void TColorButton::InitPaletteColors()
{
    TColorButtonPalette::InitPaletteColors(m_paletteColors);
    for (int x = 1; x <= 8; ++x) {
        for (int y = 1; y <= 2; ++y) {
            m_customColors.SetColor(x, y, kWhite);
        }
    }
    OtherColor = kBtnFace;
}

void TColorButton::SetStyle(TButtonStyle style)
{
    if (style != m_style) {
        m_style = style; // kept for the stored form; the drawing follows the desktop's style
        update();
    }
}

void TColorButton::SetFlat(bool flat)
{
    if (flat != m_flat) {
        m_flat = flat;
        update();
    }
}

void TColorButton::SetColor(TColor color)
{
    if (color == m_color) {
        return;
    }
    m_color = color;
    m_index = 0;
    for (int i = 1; i <= m_paletteColors.Count(); ++i) {
        if (m_paletteColors.GetColorByIndex(i) == color) {
            m_index = i;
            break;
        }
    }
    update();
    DoColorChange();
}

void TColorButton::SelectIndex(int index)
{
    if (index == m_index || index < 0 || index > m_paletteColors.Count()) {
        return;
    }
    m_index = index;
    m_color = index == 0 ? OtherColor : m_paletteColors.GetColorByIndex(index);
    update();
    DoColorChange();
}

void TColorButton::DoColorChange()
{
    if (OnColorChange) {
        OnColorChange(this);
    }
}

std::string TColorButton::GetStorageName() const
{
    std::string name = objectName().toStdString();
    if (parentWidget() != nullptr) {
        name += "." + parentWidget()->objectName().toStdString();
    }
    return name;
}

std::string TColorButton::customColorsText(const TColorArrayClass &colors)
{
    std::string text;
    for (int x = 1; x <= colors.XSize(); ++x) {
        for (int y = 1; y <= colors.YSize(); ++y) {
            char entry[16];
            std::snprintf(entry, sizeof entry, "$%08X", static_cast<unsigned>(colors.GetColor(x, y)));
            if (!text.empty()) {
                text += ",";
            }
            text += entry;
        }
    }
    return text;
}

void TColorButton::readCustomColorsText(const std::string &text, TColorArrayClass &colors)
{
    const std::string::size_type comma = text.find(',');
    if (text.empty() || comma == std::string::npos) {
        return;
    }
    // Every entry has the width of the first one: the writer's entries are all nine characters.
    std::string rest = text;
    for (int x = 1; x <= colors.XSize(); ++x) {
        for (int y = 1; y <= colors.YSize(); ++y) {
            const std::string entry = rest.substr(0, comma);
            rest = rest.size() > comma ? rest.substr(comma + 1) : std::string();
            colors.SetColor(x, y, parseEntry(entry).value_or(kWhite));
        }
    }
}

void TColorButton::SaveCustomColors()
{
    if (CustomColorsKey.isEmpty()) {
        return;
    }
    TSafeRegistry reg;
    if (reg.OpenKey(CustomColorsKey.toStdString() + "\\Colors", true)) {
        reg.WriteString(m_storageName.empty() ? GetStorageName() : m_storageName, customColorsText(m_customColors));
    }
}

void TColorButton::LoadCustomColors()
{
    m_storageName = GetStorageName();
    m_customColorsLoaded = true;
    if (CustomColorsKey.isEmpty()) {
        return;
    }
    TSafeRegistry reg;
    if (reg.OpenKeyReadOnly(CustomColorsKey.toStdString() + "\\Colors")) {
        readCustomColorsText(reg.ReadString(m_storageName, std::string()), m_customColors);
    }
}

void TColorButton::showEvent(QShowEvent *e)
{
    if (!m_customColorsLoaded) {
        LoadCustomColors();
    }
    QPushButton::showEvent(e);
}

void TColorButton::mousePressEvent(QMouseEvent *e)
{
    // The press that closed the palette (handed on to us by the popup) must not open it again.
    const bool swallow = m_swallowClick && e->timestamp() == m_swallowStamp;
    m_swallowClick = false;
    if (swallow) {
        e->accept();
        return;
    }
    QPushButton::mousePressEvent(e);
}

void TColorButton::Click()
{
    ClickAt(mapFromGlobal(QCursor::pos()));
}

void TColorButton::ClickAt(QPoint cursor)
{
    if (CycleColors && cursor.x() <= width() - 13) {
        SelectIndex(m_index >= m_paletteColors.Count() ? 0 : m_index + 1);
        return;
    }
    dropDown();
}

void TColorButton::dropDown()
{
    if (m_palette != nullptr) {
        return;
    }
    auto *palette = new TColorButtonPalette(this);
    const QScreen *screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    const QRect work = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1 << 15, 1 << 15);
    palette->move(TColorButtonPalette::placement(QRect(mapToGlobal(QPoint(0, 0)), size()), palette->size(), work));
    palette->ShowColorHints = ShowColorHints;
    palette->SetOtherBtnCaption(OtherBtnCaption);
    palette->OtherColor = OtherColor;
    palette->PaletteColors.Assign(m_paletteColors);
    palette->CustomColors.Assign(m_customColors);
    palette->OnGetColorHintText = OnGetColorHintText;
    palette->SelectColor(m_color);
    palette->OnSelect = [this](TColorButtonPalette *, bool isOther, TColor color) {
        if (isOther) {
            OtherColor = color;
        }
        SetColor(color);
    };
    palette->OnClose = [this](TColorButtonPalette *p) { paletteClosed(p); };
    m_palette = palette;
    update();
    palette->show();
    palette->setFocus();
}

void TColorButton::paletteClosed(TColorButtonPalette *palette)
{
    if (!palette->ClosedByKeyboard() && rect().contains(mapFromGlobal(QCursor::pos()))) {
        m_swallowClick = true;
        m_swallowStamp = palette->ClosingPressStamp();
    }
    m_customColors.Assign(palette->CustomColors);
    m_palette = nullptr;
    update();
}

void TColorButton::enterEvent(QEnterEvent *e)
{
    if (m_flat) {
        update();
    }
    QPushButton::enterEvent(e);
}

void TColorButton::leaveEvent(QEvent *e)
{
    if (m_flat) {
        update();
    }
    QPushButton::leaveEvent(e);
}

void TColorButton::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::EnabledChange || e->type() == QEvent::FontChange) {
        update();
    }
    QPushButton::changeEvent(e);
}

void TColorButton::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    const QPalette &pal = palette();
    const bool down = isDown() || m_palette != nullptr;
    const bool hot = underMouse();
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    if (down) {
        option.state |= QStyle::State_Sunken;
        option.state &= ~QStyle::State_Raised;
    }
    if (m_flat && !hot && !hasFocus() && !down) {
        option.features |= QStyleOptionButton::Flat;
    }
    p.drawControl(QStyle::CE_PushButtonBevel, option);

    QRect r = rect().adjusted(3, 3, -3, -3);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = r;
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
    r.adjust(1 + 2, 1 + 1, -1 - 2, -1 - 1);
    r.setRight(r.right() - 10);
    if (down) {
        r.translate(1, 1);
    }
    const QColor frame = systemColor(6, pal);
    if (!isEnabled()) {
        // A diagonal pattern over the button face: there is no colour to choose.
        p.fillRect(r, systemColor(15, pal));
        static const uchar bits[8] = {0x11, 0x22, 0x44, 0x88, 0x11, 0x22, 0x44, 0x88};
        QBrush pattern(systemColor(16, pal), QBitmap::fromData(QSize(8, 8), bits, QImage::Format_MonoLSB));
        p.fillRect(r.adjusted(1, 1, -1, -1), pattern);
        p.setPen(frame);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    } else {
        p.setPen(frame);
        p.setBrush(colorFromTColor(m_color, pal).value_or(Qt::black));
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
    const int x = r.right() + 3;
    p.setPen(systemColor(16, pal));
    p.drawLine(x, r.top(), x, r.bottom());
    p.setPen(systemColor(20, pal));
    p.drawLine(x + 1, r.top(), x + 1, r.bottom());
    const QPixmap &arrow = isEnabled() ? m_arrow : m_arrowDisabled;
    if (!arrow.isNull()) {
        p.drawPixmap(x + 3, r.top() + r.height() / 2 - arrow.height() / 2, arrow);
    }
}

} // namespace qv
