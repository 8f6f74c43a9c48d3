#pragma once

#include <QLoggingCategory>

// The device layer's developer traces ("lumira.device"), off by default.
Q_DECLARE_LOGGING_CATEGORY(lcDevice)
