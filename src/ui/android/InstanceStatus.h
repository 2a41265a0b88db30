#pragma once

#include <QAbstractButton>
#include <QPointer>

class VMModel;

/** One entry of the device row: a state dot, the device's name, and a check mark on the selected one. */
class InstanceStatus : public QAbstractButton
{
    Q_OBJECT

public:
    explicit InstanceStatus(VMModel &model, QWidget *parent = nullptr);

    VMModel *model() const;
    bool selected() const { return m_selected; }
    void setSelected(bool selected);
    /** The dot's colour for the device's current state. */
    QColor dotColor() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void onModelChanged();

    QPointer<VMModel> m_model;
    bool m_selected = false;
};
