#include "ui/style/SnapshotButtons.h"

#include "ui/style/EllipsisMenu.h"
#include "ui/style/PillActionButton.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QToolButton>

SnapshotButtons SnapshotButtons::make()
{
    SnapshotButtons buttons{};
    buttons.create = new PillActionButton(QStringLiteral("创建快照"));
    buttons.rollback = new PillActionButton(QStringLiteral("一键回滚"));
    buttons.create->setCompact(true);
    buttons.rollback->setCompact(true);
    buttons.menu = EllipsisMenu::button(QStringLiteral("快照"));
    buttons.deleteLatest = buttons.menu->menu()->addAction(QStringLiteral("删除最近快照"));
    buttons.openFolder = buttons.menu->menu()->addAction(QStringLiteral("打开快照目录"));
    buttons.row = new QHBoxLayout;
    buttons.row->setSpacing(8);
    buttons.row->addWidget(buttons.create);
    buttons.row->addWidget(buttons.rollback);
    buttons.row->addWidget(buttons.menu);
    buttons.row->addStretch();
    return buttons;
}
