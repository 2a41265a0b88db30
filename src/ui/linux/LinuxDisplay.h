#pragma once

#include "ui/linux/GuestInput.h"

#include <QHash>
#include <QKeySequence>
#include <QPointer>
#include <QWidget>

class LinuxModel;
class QTimer;
class VncConnection;

/**
 * The running Linux machine's screen: read from the machine's display endpoint, scaled to fit a
 * 16:10 area (letterboxed, on black), with the keyboard and pointer going to the guest while the
 * widget has focus. It connects only while it is shown and a machine runs, follows the model to a
 * new machine, and lets everything go when the machine stops or the widget goes.
 *
 * While the screen has the focus every key is the guest's, the application's shortcuts included,
 * save one: releaseKeys() hands the keyboard back. The keyboard is never grabbed, so the desktop's own
 * shortcuts stay with the host.
 */
class LinuxDisplay : public QWidget
{
    Q_OBJECT

public:
    static constexpr qreal aspectRatio = 1.6;
    /** How often a lost connection to a still running machine is tried again, one second apart. */
    static constexpr int reconnectAttempts = 5;

    explicit LinuxDisplay(LinuxModel &model, QWidget *parent = nullptr);

    /** The one combination not given to the guest: it takes the focus from the screen. */
    static QKeySequence releaseKeys();
    /** Tells the user that the keyboard goes to the guest and how to take it back. */
    static QString releaseHint();
    ~LinuxDisplay() override;

    /** Corners of the screen area are rounded by this radius. */
    void setCornerRadius(qreal radius);
    qreal cornerRadius() const { return m_radius; }

    VncConnection *connection() const { return m_connection; }
    /** The socket shown, or empty when not connected to any. */
    QString endpoint() const { return m_endpoint; }
    /** The 16:10 area inside the widget. */
    QRectF screenRect() const;
    /** Where the guest's picture is drawn inside screenRect(), by the picture's own proportions. */
    QRectF imageRect() const;
    /** New pictures painted so far. */
    quint64 framesShown() const { return m_framesShown; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void follow();
    void onFrameChanged(const QRegion &region);
    void onDisconnected(const QString &reason);
    void sendPointer(const QPointF &position, int buttons);
    void releaseInput();

    QPointer<LinuxModel> m_model;
    VncConnection *m_connection;
    QTimer *m_retry;
    QString m_endpoint;
    int m_failures = 0;
    qreal m_radius = 12;
    bool m_newFrame = false;
    quint64 m_framesShown = 0;
    /** Keysyms sent for keys still down, by physical key, so each release matches its press. */
    QHash<quint32, quint32> m_pressed;
    int m_buttons = 0;
    QPoint m_pointer;
    GuestInput::WheelSteps m_wheelX;
    GuestInput::WheelSteps m_wheelY;
};
