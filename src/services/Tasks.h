#pragma once

#include <QCoroTask>
#include <QString>

/**
 * Starts an asynchronous operation from synchronous code. The task runs on its own; an exception
 * that escapes it is written to the global log under `category` instead of vanishing.
 */
void startTask(QCoro::Task<> task, QString category);
