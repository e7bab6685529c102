#include "sync/SyncError.h"

SyncError::SyncError(SyncFault fault, const QString& detail)
    : std::runtime_error(detail.toStdString()), m_fault(fault), m_detail(detail)
{
}
