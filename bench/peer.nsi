; The peer RuvoLinkLens.exe is measured against (bench/measure.sh): an NSIS installer
; doing the same install. One window with the five text lines and an Install button;
; pressing it writes the same page to the same folder, the same key and values under
; HKEY_CURRENT_USER, and shows the same message; then it ends.
;
;   makensis -DPAGE=ruvo.htm -DICON=package.ico -DOUTFILE=peer.exe bench/peer.nsi
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel highest
ManifestDPIAware true
XPStyle on

Name "RUVO LinkLens"
Caption "RUVO LinkLens (NSIS peer)"
OutFile "${OUTFILE}"
Icon "${ICON}"
InstallDir "c:\Program Files\ruvo"
InstallButtonText "Install"
ShowInstDetails nevershow
AutoCloseWindow true

!include nsDialogs.nsh

!define KEY "Software\Microsoft\Internet Explorer\MenuExt\Open with Ruvo Office Suite"

Page custom Describe
Page instfiles

Function Describe
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0u 100% 10u "This exe, when installed in Internet Explorer 5.5 and above will let you"
  Pop $0
  ${NSD_CreateLabel} 0 10u 100% 10u "have the option of opening/editing document, spreadsheet and"
  Pop $0
  ${NSD_CreateLabel} 0 20u 100% 10u "presentation files on a web page in the browser itself. The extension"
  Pop $0
  ${NSD_CreateLabel} 0 30u 100% 10u "works for .doc, .rtf, .sxw, .odt for documents, .xls, .sxc, .csv for"
  Pop $0
  ${NSD_CreateLabel} 0 40u 100% 10u "spreadsheets and .pps, .ppt, .sxi for presentations. "
  Pop $0
  nsDialogs::Show
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  File "/oname=ruvo.htm" "${PAGE}"
  WriteRegStr HKCU "${KEY}" "" "file://c:/Program Files/ruvo/ruvo.htm"
  WriteRegDWORD HKCU "${KEY}" "Contexts" 0x20
  MessageBox MB_OK|MB_ICONINFORMATION "Ruvo Link Lens have been installed successfully in your machine. Open a new instance of IE to see the changes."
SectionEnd
