#!/usr/bin/env bash
# The adapter owns its state: outside adapter/ its members are read, and changed only through its
# operations. Any assignment to them from app/ or tray/ is listed and fails the test.
cd "$(dirname "${BASH_SOURCE[0]}")/../.." || exit 1
writes=$(grep -nE '(adapter\.|m_pAdapter->|pAdapter->)m_[A-Za-z]+[[:space:]]*([-+*/|&]?=[^=]|\+\+|--)' app/*.cpp tray/*.cpp)
if [[ -n $writes ]]; then
    echo "$writes"
    echo "0 passed, 1 failed"
    exit 1
fi
echo "1 passed, 0 failed"
