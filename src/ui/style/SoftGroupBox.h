#pragma once

#include <QWidget>

class QLabel;
class QVBoxLayout;
class SymbolLabel;

/**
 * The group box of every page: a semibold title over its content in one column, on a softly
 * outlined, rounded panel of the control background.
 */
class SoftGroupBox : public QWidget
{
    Q_OBJECT

public:
    static constexpr int spacing = 14;
    static constexpr int padding = 18;
    static constexpr qreal radius = 22;
    static constexpr qreal backgroundOpacity = 0.72;
    static constexpr qreal outlineWidth = 0.8;
    static constexpr qreal outlineOpacity = 0.075;
    static constexpr qreal titlePoints = 14;

    explicit SoftGroupBox(const QString &title = {}, QWidget *parent = nullptr);

    QString title() const;
    void setTitle(const QString &title);
    /** A system symbol before the title; none when empty. */
    void setSymbol(const QString &symbol);
    /** A secondary line at the end of the title row; none when empty. */
    void setSubtitle(const QString &subtitle);
    QString subtitle() const;
    /** The column under the title; the page adds its rows here. */
    QVBoxLayout *contentLayout() const { return m_content; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    SymbolLabel *m_symbol;
    QLabel *m_title;
    QLabel *m_subtitle;
    QVBoxLayout *m_content;
};
