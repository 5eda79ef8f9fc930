/* The floor RuvoLinkLens.exe is measured against (bench/measure.sh): the same window
   and the same install written as directly as plain C allows, with no layers between
   the job and the system, as durably as the installer does it (the page flushed and
   moved into place, the key flushed). Not shipped; its error handling stops at telling
   failure from success. The twips are those of src/window/layout.h. */
#include <windows.h>
#include <olectl.h>

#define IDI_PACKAGE 1
#define IDR_BANNER 101
#define IDR_PAGE 102

static const char kKey[] =
    "Software\\Microsoft\\Internet Explorer\\MenuExt\\Open with Ruvo Office Suite";
static const char kPageUrl[] = "file://c:/Program Files/ruvo/ruvo.htm";
static const WCHAR kFolder[] = L"c:\\Program Files\\ruvo";
static const WCHAR kPage[] = L"c:\\Program Files\\ruvo\\ruvo.htm";
static const WCHAR kPartialPage[] = L"c:\\Program Files\\ruvo\\ruvo.htm.partial";
static const WCHAR kTitle[] = L"RUVO LinkLens";

static const WCHAR* const kLines[] = {
    L"This exe, when installed in Internet Explorer 5.5 and above will let you",
    L"have the option of opening/editing document, spreadsheet and",
    L"presentation files on a web page in the browser itself. The extension",
    L"works for .doc, .rtf, .sxw, .odt for documents, .xls, .sxc, .csv for",
    L"spreadsheets and .pps, .ppt, .sxi for presentations. ",
};

static int dpi;
static BOOL installed;
static HWND button;
static HBITMAP banner; /* belongs to a picture object that lives as long as the program */

static int Px(int twips) { return MulDiv(twips, dpi, 1440); }

/* Children are placed by their edges, as the product does, so that rounding puts
   every edge on the same pixel in both. */
static HWND Child(HWND parent, const WCHAR* cls, const WCHAR* text, DWORD style, int left,
                  int top, int width, int height, int id, HFONT font) {
  HWND child = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, Px(left), Px(top),
                               Px(left + width) - Px(left), Px(top + height) - Px(top), parent,
                               (HMENU)(INT_PTR)id, NULL, NULL);
  SendMessageW(child, WM_SETFONT, (WPARAM)font, FALSE);
  return child;
}

static HBITMAP LoadBanner(HINSTANCE instance) {
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(IDR_BANNER), (LPCWSTR)RT_RCDATA);
  DWORD size = SizeofResource(instance, found);
  HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size); /* the stream frees it */
  IStream* stream;
  IPicture* picture;
  OLE_HANDLE handle = 0;
  CopyMemory(GlobalLock(copy), LockResource(LoadResource(instance, found)), size);
  GlobalUnlock(copy);
  if (FAILED(CreateStreamOnHGlobal(copy, TRUE, &stream))) return NULL;
  if (SUCCEEDED(OleLoadPicture(stream, (LONG)size, FALSE, &IID_IPicture, (void**)&picture))) {
    picture->lpVtbl->get_Handle(picture, &handle);
  }
  stream->lpVtbl->Release(stream);
  return (HBITMAP)(UINT_PTR)handle;
}

static BOOL WritePage(void) {
  HINSTANCE instance = GetModuleHandleW(NULL);
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(IDR_PAGE), (LPCWSTR)RT_RCDATA);
  DWORD size = SizeofResource(instance, found), written = 0;
  HANDLE file;
  BOOL ok;
  CreateDirectoryW(kFolder, NULL); /* usually there already from an earlier install */
  /* As durably as the installer: beside the page, flushed, then moved over it. */
  file = CreateFileW(kPartialPage, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     NULL);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  ok = WriteFile(file, LockResource(LoadResource(instance, found)), size, &written, NULL) &&
       written == size && FlushFileBuffers(file);
  ok = CloseHandle(file) && ok;
  return ok && MoveFileExW(kPartialPage, kPage, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

static BOOL Install(void) {
  HKEY key;
  DWORD contexts = 0x20; /* links only */
  BOOL ok;
  if (!WritePage()) return FALSE; /* the page before the key that points to it */
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      NULL, &key, NULL) != ERROR_SUCCESS) {
    return FALSE;
  }
  ok = RegSetValueExA(key, "", 0, REG_SZ, (const BYTE*)kPageUrl, sizeof kPageUrl) == 0 &&
       RegSetValueExA(key, "Contexts", 0, REG_DWORD, (const BYTE*)&contexts, 4) == 0 &&
       RegFlushKey(key) == 0; /* on the disk before the user is told */
  RegCloseKey(key);
  return ok;
}

static void Press(HWND window) {
  if (!installed) {
    if (Install()) {
      MessageBoxW(window,
                  L"Ruvo Link Lens have been installed successfully in your machine. Open a new "
                  L"instance of IE to see the changes.",
                  kTitle, MB_OK | MB_ICONINFORMATION);
    } else {
      MessageBoxW(window, L"Ruvo Link Lens could not be installed in your machine.", kTitle,
                  MB_OK | MB_ICONERROR);
    }
  } else if (RegDeleteKeyA(HKEY_CURRENT_USER, kKey) == ERROR_SUCCESS &&
             RegFlushKey(HKEY_CURRENT_USER) == ERROR_SUCCESS) {
    /* The work first, then the one message, as the installer does. */
    DeleteFileW(kPage);
    RemoveDirectoryW(kFolder); /* stays if it holds other files */
    MessageBoxW(window, L"Ruvo Link Lens have been uninstalled successfully in your machine.",
                kTitle, MB_OK | MB_ICONINFORMATION);
  } else {
    MessageBoxW(window, L"Ruvo Link Lens could not be uninstalled from your machine.", kTitle,
                MB_OK | MB_ICONERROR);
  }
  DestroyWindow(window);
}

/* The banner, clipped to its picture area, and the one-pixel rule under it. */
static void Paint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT area = {Px(8), 0, Px(8 + 5655), Px(585)};
  RECT rule = {0, Px(600), Px(5640), Px(600) + 1};
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ previous = SelectObject(source, banner);
  BITMAP size = {0};
  GetObjectW(banner, sizeof size, &size);
  FillRect(dc, &rule, GetSysColorBrush(COLOR_ACTIVEBORDER));
  FillRect(dc, &area, GetSysColorBrush(COLOR_WINDOW));
  IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
  BitBlt(dc, area.left, area.top, size.bmWidth, size.bmHeight, source, 0, 0, SRCCOPY);
  SelectObject(source, previous);
  DeleteDC(source);
  EndPaint(window, &paint);
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_COMMAND:
      /* The button's id is IDOK, so a click and Enter (IsDialogMessage) arrive alike. */
      if (LOWORD(wParam) == IDOK) Press(window);
      return 0;
    case WM_SETFOCUS:
      SetFocus(button);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
  WNDCLASSW cls = {0};
  HDC screen = GetDC(NULL);
  HKEY key;
  HFONT font;
  RECT frame;
  HWND window;
  MSG message;
  int i;
  (void)previous;
  (void)commandLine;

  dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(NULL, screen);
  installed = RegOpenKeyA(HKEY_CURRENT_USER, kKey, &key) == ERROR_SUCCESS;
  if (installed) RegCloseKey(key);
  CoInitializeEx(NULL, COINIT_APARTMENTTHREADED); /* for the picture decoder */
  banner = LoadBanner(instance);

  cls.lpfnWndProc = WindowProc;
  cls.hInstance = instance;
  cls.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PACKAGE));
  cls.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  cls.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  cls.lpszClassName = L"RuvoLinkLensFloor";
  RegisterClassW(&cls);

  SetRect(&frame, 0, 0, Px(5640), Px(3045));
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  window = CreateWindowExW(exStyle, cls.lpszClassName, kTitle, style, CW_USEDEFAULT,
                           CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                           NULL, NULL, instance, NULL);
  if (window == NULL) return 1;
  /* 8.25 pt, for the button as for the text lines. */
  font = CreateFontW(-MulDiv(825, dpi, 7200), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                     ANSI_CHARSET, 0, 0, 0, 0, L"MS Sans Serif");
  button = Child(window, L"BUTTON", installed ? L"Uninstall" : L"Install",
                 WS_TABSTOP | BS_PUSHBUTTON, 2153, 2400, 1335, 375, IDOK, font);
  for (i = 0; i < 5; ++i) {
    Child(window, L"STATIC", kLines[i], SS_LEFTNOWORDWRAP | SS_NOPREFIX, 353, 840 + 240 * i,
          i == 0 ? 4935 : 4815, 255, -1, font);
  }
  ShowWindow(window, show);
  UpdateWindow(window);
  SetFocus(button);

  while (GetMessageW(&message, NULL, 0, 0) > 0) {
    if (IsDialogMessageW(window, &message)) continue; /* Enter presses the button */
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return (int)message.wParam;
}
