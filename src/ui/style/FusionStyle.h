#pragma once

#include <QProxyStyle>

/**
 * Qt's Fusion style, which draws every control from the palette, except that the icons of the
 * overflow buttons every menu bar and toolbar makes are read from disc only once one is drawn: reading
 * them loads the image plugins, a good part of the time before the window's first frame, for a button
 * that shows only when the menus do not fit.
 */
class FusionStyle : public QProxyStyle
{
public:
    FusionStyle();

    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};
