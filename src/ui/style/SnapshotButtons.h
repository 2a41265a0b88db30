#pragma once

class PillActionButton;
class QAction;
class QHBoxLayout;
class QToolButton;

/**
 * The row of every snapshot group: "创建快照", "一键回滚" and the ellipsis holding "删除最近快照" and
 * "打开快照目录". The widgets belong to whatever the row is laid out in.
 */
struct SnapshotButtons
{
    PillActionButton *create;
    PillActionButton *rollback;
    QToolButton *menu;
    QAction *deleteLatest;
    QAction *openFolder;
    /** The buttons, then a stretch; a group may insert more before the stretch. */
    QHBoxLayout *row;

    static SnapshotButtons make();
};
