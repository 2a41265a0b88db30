#pragma once

#include <QBoxLayout>
#include <QWidget>

/**
 * Keeps neighbouring glass surfaces together with 12 points between them, so a row of cards reads as
 * one group. It draws nothing itself.
 */
class DeviceGlassGroup : public QWidget
{
    Q_OBJECT

public:
    static constexpr int spacing = 12;

    explicit DeviceGlassGroup(QBoxLayout::Direction direction = QBoxLayout::LeftToRight,
                              QWidget *parent = nullptr);

    void addWidget(QWidget *widget, int stretch = 0);
    QBoxLayout *groupLayout() const { return m_layout; }

private:
    QBoxLayout *m_layout;
};
