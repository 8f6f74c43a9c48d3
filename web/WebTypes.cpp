#include "web/WebTypes.h"

#include "web/LMRMsgId.h"
#include "web/LMRUserInfo.h"

#include <QQmlEngine>

namespace lumira
{
namespace
{

// QML must never take ownership of the process-wide instances.
template <typename T>
QObject *provide(QQmlEngine *, QJSEngine *)
{
    T *object = T::instance();
    QQmlEngine::setObjectOwnership(object, QQmlEngine::CppOwnership);
    return object;
}

} // namespace

void registerWebTypes()
{
    qmlRegisterSingletonType<LMRMsgId>("LMRMsgId", 1, 0, "LMRMsgId", &provide<LMRMsgId>);
    qmlRegisterSingletonType<LMRUserInfo>("LMRUserInfo", 1, 0, "LMRUserInfo", &provide<LMRUserInfo>);
}

} // namespace lumira
