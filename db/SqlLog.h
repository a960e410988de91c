#pragma once

#include <QLoggingCategory>

// Every statement the engine prepares or executes is logged here at debug
// level, and "send" for each statement of a batch that the server ran; switch
// it on with QT_LOGGING_RULES="kelvane.sql.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcSql)
