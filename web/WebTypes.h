#pragma once

namespace lumira
{
// Registers the page-bridge singletons for QML ("LMRMsgId", "LMRUserInfo").
void registerWebTypes();
} // namespace lumira
