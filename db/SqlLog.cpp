#include "SqlLog.h"

Q_LOGGING_CATEGORY(lcSql, "kelvane.sql", QtInfoMsg)
