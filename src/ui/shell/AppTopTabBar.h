#pragma once

#include <QList>
#include <QRectF>
#include <QWidget>

class QHBoxLayout;
class QPushButton;
class QVariantAnimation;

/** The row of tab buttons with a capsule that slides to the selected one. */
class AppTopTabBar : public QWidget
{
    Q_OBJECT

public:
    explicit AppTopTabBar(QWidget *parent = nullptr);

    void setTabs(bool showsBeta);
    void setSelected(const QString &identifier, bool animated);
    const QString &selected() const { return m_selected; }
    /** Where the selection capsule is drawn right now. */
    QRectF capsule() const { return m_capsule; }
    /** Where the capsule belongs: the selected button's place. */
    QRectF capsuleTarget() const;
    QStringList identifiers() const;

Q_SIGNALS:
    void selectRequested(const QString &identifier);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void restyleButtons();

    QHBoxLayout *m_layout;
    QList<QPushButton *> m_buttons;
    QString m_selected;
    QRectF m_capsule;
    QVariantAnimation *m_slide;
};
