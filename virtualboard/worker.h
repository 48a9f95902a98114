#pragma once

#include <QObject>

// Lives on the firmware thread; the loop runs in its context.
class Worker : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

public slots:
    void executeMcu();
};
