#include "app/qt_owner_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>

namespace fraglane::app {

void QtOwnerThread::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call), Qt::QueuedConnection);
}

void QtOwnerThread::ServeUntil(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents |
                                        QEventLoop::ExcludeUserInputEvents);
    }
}

}  // namespace fraglane::app
