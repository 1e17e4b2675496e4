#include "script/SStmt.h"

SStmt::~SStmt()
{
    SStmtPtr p = std::move(m_pNext);
    while (p) {
        SStmtPtr next = std::move(p->m_pNext);
        p.reset();
        p = std::move(next);
    }
}
