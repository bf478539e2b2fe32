// TSplashForm: the picture shown while the program starts (2.5 s, or until clicked).
#pragma once

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

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QLabel *m_image = nullptr;
    QLabel *m_copyright = nullptr;
    QTimer m_closeTimer;
};

} // namespace qv
