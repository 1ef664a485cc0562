#pragma once

#include <QDebug>
#include <QLoggingCategory>

// The system's debug log: every entered function writes its signature, values
// of interest stand behind an arrow. All of it goes through the category
// "kova", so a test (or a user) silences it with the rule "kova.debug=false".
Q_DECLARE_LOGGING_CATEGORY(lcKova)

#define KLOG qCDebug(lcKova).noquote()

// Convenience forms of KLOG for the two line shapes of the convention.
#define KLOG_ENTER KLOG << Q_FUNC_INFO
#define KLOG_VALUE(name, value) KLOG << "--------------------->" << (name) << ":" << (value)
