#include "core/Activity.h"

namespace papelo {

Activity &Activity::shared()
{
    static Activity *instance = new Activity; // never released, like the counts store
    return *instance;
}

void Activity::begin()
{
    ++m_count;
    emit countChanged(m_count);
}

void Activity::end()
{
    if (m_count > 0)
        --m_count;
    emit countChanged(m_count);
}

} // namespace papelo
