// A resolution on trial: applied to the adapter's display while the user is asked whether to keep it.
// Until the answer comes the confirmed resolution stays the one the profile gets, whatever else saves
// the settings meanwhile (an Off, an unplug, a verb), so an answer that never comes leaves nothing
// unconfirmed behind.
#include <windows.h>

#include "adapter/adapter.h"

void CAdapter::TryResolution(const DispMode& tried) {
    m_confirmed = GetMode();
    m_bTrying = true;
    SetResolution(tried.nWidth, tried.nHeight, tried.nBpp);
    m_tried = tried;
}

void CAdapter::KeepTriedResolution() {
    m_bTrying = false;
    // While mirroring SetResolution leaves the adapter's own resolution alone; a confirmed choice becomes it.
    StoreMode(m_tried);
}

void CAdapter::RevertTriedResolution() {
    // A display turned off meanwhile, or an adapter that is gone, stays off: setting a mode on a detached
    // display would attach it again. The confirmed resolution is then only remembered.
    if (!HasDevice() || GetDispState() == DISP_OFF) {
        ForgetTriedResolution();
        return;
    }
    m_bTrying = false;
    SetResolution(m_confirmed.nWidth, m_confirmed.nHeight, m_confirmed.nBpp);
}

void CAdapter::ForgetTriedResolution() {
    m_bTrying = false;
    StoreMode(m_confirmed);
}

DispMode CAdapter::SavedMode() const {
    return m_bTrying ? m_confirmed : GetMode();
}
