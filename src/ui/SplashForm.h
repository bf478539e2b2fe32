// TSplashForm: the picture shown while the program starts (2.5 s, or until clicked, or until the
// program's window shows: the splash stays on top and must never cover that window).
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;

namespace qv {

class TSplashForm : public QWidget
{
    Q_OBJECT
public:
    explicit TSplashForm(QWidget *parent = nullptr);
    QLabel *image() const { return m_image; }
    // Closes the splash as soon as `window` shows.
    void closeWhenShown(QWidget *window);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_image = nullptr;
    QLabel *m_copyright = nullptr;
    QTimer m_closeTimer;
    QPointer<QWidget> m_window;
};

} // namespace qv
