// The wrapped accessible object and the subclass that hands it out.
#include "controls/win32/accessible_annotation.h"

// clang-format off
#include <ole2.h>
#include <oleacc.h>
// clang-format on

#include <atomic>

namespace quorvane {

namespace {

constexpr UINT_PTR kSubclassId = 0x41cc;

// The import library's IID_IAccessible is a data export of oleacc.dll that a
// name-only import binds to its thunk, not to the GUID: the compiler's own
// record of the interface is used instead.
const IID kIAccessible = __uuidof(IAccessible);

// The wrapper asks the control for what it overrides through this message,
// at each call, so a reader that keeps the object hears the current state,
// and a control whose annotation is gone answers 0: "ask the standard object".
UINT QueryMessage() {
  static const UINT message = RegisterWindowMessageW(L"QuorvaneAccessibleQuery");
  return message;
}

enum class Asked { kName, kDescription, kValue, kRole, kState };

struct Query {
  Asked asked;
  std::wstring text;
  long number = 0;  // kRole: the role; kState: the standard state in, ours out
};

bool Ask(HWND hwnd, Query& query) {
  return IsWindow(hwnd) && SendMessageW(hwnd, QueryMessage(), 0, reinterpret_cast<LPARAM>(&query));
}

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

HRESULT AnswerText(HWND hwnd, Asked asked, BSTR* out) {
  Query query{asked, {}};
  if (out == nullptr) return E_POINTER;
  if (!Ask(hwnd, query)) return E_NOTIMPL;  // the caller then asks the standard object
  *out = nullptr;
  if (query.text.empty()) return S_FALSE;
  *out = SysAllocStringLen(query.text.data(), static_cast<UINT>(query.text.size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// The standard object of the control with name, description, value, role and
// state taken from the control's annotation; everything else is the standard
// object's.
class AnnotatedObject final : public IAccessible {
 public:
  AnnotatedObject(HWND hwnd, IAccessible* standard) : m_hWnd(hwnd), m_standard(standard) {}
  AnnotatedObject(const AnnotatedObject&) = delete;
  AnnotatedObject& operator=(const AnnotatedObject&) = delete;

  // IUnknown. The standard object's other interfaces (its children, its
  // window) are handed out as they are.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kIAccessible) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    return m_standard->QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
  }

  // IDispatch.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    return m_standard->GetTypeInfoCount(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return m_standard->GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override {
    return m_standard->GetIDsOfNames(iid, names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* badArgument) override {
    return m_standard->Invoke(id, iid, locale, flags, params, result, exception, badArgument);
  }

  // IAccessible: the overridden properties.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
    return Text(child, Asked::kName, out, &IAccessible::get_accName);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
    return Text(child, Asked::kDescription, out, &IAccessible::get_accDescription);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
    return Text(child, Asked::kValue, out, &IAccessible::get_accValue);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
    Query query{Asked::kRole, {}};
    if (out == nullptr) return E_POINTER;
    if (!IsSelf(child) || !Ask(m_hWnd, query)) return m_standard->get_accRole(child, out);
    out->vt = VT_I4;
    out->lVal = query.number;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
    const HRESULT standard = m_standard->get_accState(child, out);
    if (FAILED(standard) || !IsSelf(child) || out->vt != VT_I4) return standard;
    Query query{Asked::kState, {}, out->lVal};
    if (Ask(m_hWnd, query)) out->lVal = query.number;
    return standard;
  }

  // IAccessible: the standard object's.
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override {
    return m_standard->get_accParent(out);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* out) override {
    return m_standard->get_accChildCount(out);
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    return m_standard->get_accChild(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override {
    return m_standard->get_accHelp(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    return m_standard->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
    return m_standard->get_accKeyboardShortcut(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
    return m_standard->get_accFocus(out);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
    return m_standard->get_accSelection(out);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
    return m_standard->get_accDefaultAction(child, out);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
    return m_standard->accSelect(flags, child);
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                        VARIANT child) override {
    return m_standard->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* out) override {
    return m_standard->accNavigate(direction, start, out);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override {
    return m_standard->accHitTest(x, y, out);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return m_standard->accDoDefaultAction(child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
    return m_standard->put_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return m_standard->put_accValue(child, value);
  }

 private:
  ~AnnotatedObject() { m_standard->Release(); }

  HRESULT Text(VARIANT child, Asked asked, BSTR* out,
               HRESULT (STDMETHODCALLTYPE IAccessible::*standard)(VARIANT, BSTR*)) {
    if (IsSelf(child)) {
      const HRESULT ours = AnswerText(m_hWnd, asked, out);
      if (ours != E_NOTIMPL) return ours;
    }
    return (m_standard->*standard)(child, out);
  }

  HWND m_hWnd;
  IAccessible* m_standard;  // owned: one reference
  std::atomic<ULONG> m_references = 1;
};

}  // namespace

CAccessibleAnnotation::~CAccessibleAnnotation() { Detach(); }

void CAccessibleAnnotation::Attach(HWND control, std::wstring name, std::wstring description) {
  Detach();
  m_hWnd = control;
  m_name = std::move(name);
  m_description = std::move(description);
  QueryMessage();  // registered before any reader asks
  SetWindowSubclass(control, &SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void CAccessibleAnnotation::Detach() {
  if (m_hWnd != nullptr && IsWindow(m_hWnd))
    RemoveWindowSubclass(m_hWnd, &SubclassProc, kSubclassId);
  m_hWnd = nullptr;
}

void CAccessibleAnnotation::Notify(DWORD event) const {
  if (m_hWnd != nullptr) NotifyWinEvent(event, m_hWnd, OBJID_CLIENT, CHILDID_SELF);
}

void CAccessibleAnnotation::SetName(std::wstring name) {
  if (name == m_name) return;
  m_name = std::move(name);
  Notify(EVENT_OBJECT_NAMECHANGE);
}

void CAccessibleAnnotation::SetDescription(std::wstring description) {
  if (description == m_description) return;
  m_description = std::move(description);
  Notify(EVENT_OBJECT_DESCRIPTIONCHANGE);
}

void CAccessibleAnnotation::SetChecked(bool checked) {
  if (m_checked == checked) return;
  m_checked = checked;
  Notify(EVENT_OBJECT_STATECHANGE);
}

void CAccessibleAnnotation::SetValueText(std::wstring_view text) {
  if (m_hWnd == nullptr) return;
  const int length = GetWindowTextLengthW(m_hWnd);
  std::wstring shown(static_cast<std::size_t>(length) + 1, L'\0');
  shown.resize(static_cast<std::size_t>(GetWindowTextW(m_hWnd, shown.data(), length + 1)));
  // The poll repeats the same reading every half second: only a different
  // one is news.
  if (shown == text) return;
  SetWindowTextW(m_hWnd, std::wstring(text).c_str());
  Notify(EVENT_OBJECT_VALUECHANGE);
}

LRESULT CALLBACK CAccessibleAnnotation::SubclassProc(HWND hwnd, UINT message, WPARAM wParam,
                                                     LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, &SubclassProc, kSubclassId);
    reinterpret_cast<CAccessibleAnnotation*>(self)->m_hWnd = nullptr;
    return DefSubclassProc(hwnd, message, wParam, lParam);
  }
  return reinterpret_cast<CAccessibleAnnotation*>(self)->OnMessage(message, wParam, lParam);
}

LRESULT CAccessibleAnnotation::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_GETOBJECT && static_cast<LONG>(lParam) == OBJID_CLIENT) {
    IAccessible* standard = nullptr;
    if (FAILED(CreateStdAccessibleObject(m_hWnd, OBJID_CLIENT, kIAccessible,
                                         reinterpret_cast<void**>(&standard))))
      return DefSubclassProc(m_hWnd, message, wParam, lParam);
    auto* annotated = new AnnotatedObject(m_hWnd, standard);
    // LresultFromObject takes its own reference.
    const LRESULT result = LresultFromObject(kIAccessible, wParam, annotated);
    annotated->Release();
    return result;
  }
  if (message == QueryMessage()) {
    auto& query = *reinterpret_cast<Query*>(lParam);
    switch (query.asked) {
      case Asked::kName:
        query.text = m_name;
        return TRUE;
      case Asked::kDescription:
        query.text = m_description;
        return TRUE;
      case Asked::kValue:
        if (!m_readout) return FALSE;
        query.text.resize(static_cast<std::size_t>(GetWindowTextLengthW(m_hWnd)) + 1);
        query.text.resize(static_cast<std::size_t>(
            GetWindowTextW(m_hWnd, query.text.data(), static_cast<int>(query.text.size()))));
        return TRUE;
      case Asked::kRole:
        query.number = m_role;
        return m_role != 0;
      case Asked::kState:
        if (!m_checked) return FALSE;
        query.number = *m_checked ? (query.number | STATE_SYSTEM_CHECKED)
                                  : (query.number & ~long{STATE_SYSTEM_CHECKED});
        return TRUE;
    }
    return FALSE;
  }
  if (m_readout && (message == WM_SETFOCUS || message == WM_KILLFOCUS))
    InvalidateRect(m_hWnd, nullptr, TRUE);
  const LRESULT result = DefSubclassProc(m_hWnd, message, wParam, lParam);
  if (m_readout && message == WM_PAINT && GetFocus() == m_hWnd) {
    // Inside the border, over the text's background, so the look without the
    // focus is unchanged.
    RECT inside{};
    GetClientRect(m_hWnd, &inside);
    InflateRect(&inside, -1, -1);
    if (HDC dc = GetDC(m_hWnd)) {
      DrawFocusRect(dc, &inside);
      ReleaseDC(m_hWnd, dc);
    }
  }
  return result;
}

}  // namespace quorvane
