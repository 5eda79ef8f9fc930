#include "handler_page/handler_page.h"

#include "handler_page/page_location.h"
#include "handler_page/service_table.h"

namespace ruvo {
namespace {

// Lines repeated by the check functions; the first function's loop is written
// differently and keeps its own text.
constexpr std::wstring_view kLoop = L"for(var i=0;i<ext.length;i++) {";
// A shorter address has no extension, yet lastIndexOf's -1 would equal its length - 4.
constexpr std::wstring_view kMatch =
    L"if(url && url.length>=4 && (url.toLowerCase().lastIndexOf(ext[i])==(url.length-4))) {";
constexpr std::wstring_view kReturn = L"return true; } }  return false; } ";
constexpr std::wstring_view kOpen = L"window.open(targeturl,'_blank'); } ";

// A check function's list: "var ext=['.doc','.rtf'];".
Text ExtensionListLine(const ServiceRecord& service) {
  Text line = L"var ext=[";
  for (std::size_t i = 0; i < service.extensionCount; ++i) {
    if (i != 0) line += L",";
    line += L"'" + Text(service.extensions[i]) + L"'";
  }
  return line + L"];";
}

// The service receives the link's address as one encoded query parameter.
Text TargetUrlLine(const ServiceRecord& service) {
  return L"targeturl = '" + Text(service.address) + Text(service.pathAndQuery) +
         L"'+encodeURIComponent(docurl.href);";
}

}  // namespace

std::vector<Text> HandlerPageLines() {
  return {
      L"<html>",
      L"<head>",
      L"<script language='javascript'>",
      L"function isRuvoScribeCompatible(url) {",
      ExtensionListLine(kScribeService),
      L"for(i=0;i<ext.length;i++){",
      L"if(url && url.length>=4 && (url.toLowerCase().lastIndexOf(ext[i])==(url.length-4)) ) {",
      L"return true; } } return false; }",
      L"function isRuvoGridCompatible(url) {",
      ExtensionListLine(kGridService),
      Text(kLoop),
      Text(kMatch),
      Text(kReturn),
      L"function isRuvoDeckCompatible(url) {",
      ExtensionListLine(kDeckService),
      Text(kLoop),
      Text(kMatch),
      Text(kReturn),
      L"function isRuvoGridRCompatible(url) {",
      L"var ext=['.ods'];",
      Text(kLoop),
      Text(kMatch),
      Text(kReturn),
      L"function isRuvoScribeRCompatible(url) {",
      L"var ext=['.txt','.pdf','.tml','htm'];",
      Text(kLoop),
      Text(kMatch),
      Text(kReturn),
      // The menu hands over the element under the mouse, which may sit inside the link
      // (an image, bold text); parentElement is what IE 5.5 offers for walking up to it.
      L"function ruvoCheck(docurl) { while(!docurl.href && docurl.parentElement) { "
      L"docurl=docurl.parentElement; }",
      L"var scribeflag = isRuvoScribeCompatible(docurl.href);",
      L"var gridflag  = isRuvoGridCompatible(docurl.href);",
      L"var deckflag   = isRuvoDeckCompatible(docurl.href);",
      L"var targeturl  = '';",
      L"if ( scribeflag == true) { ",
      TargetUrlLine(kScribeService),
      Text(kOpen),
      L"if ( gridflag == true) { ",
      TargetUrlLine(kGridService),
      Text(kOpen),
      L"if ( deckflag == true) { ",
      TargetUrlLine(kDeckService),
      Text(kOpen),
      L"if ( scribeflag == false && gridflag == false && deckflag == false ) {",
      L"alert('" + Text(kUnsupportedLinkAlert) + L"'); } }",
      L"</script>",
      L"<script language='vbscript'>",
      L"set oWindow= external.menuArguments",
      L"set doc= external.menuArguments.document",
      L"ruvoCheck(oWindow.event.srcElement)",
      L"</script>",
      L"</head>",
      L"</html>",
  };
}

FileResult CreateInstallFolder(FileSystem& files) {
  // Usually the folder is there from an earlier install.
  return files.MakeFolder(Text(kInstallFolderPath));
}

FileResult WriteHandlerPage(FileSystem& files, FileResult* folder) {
  const FileResult made = CreateInstallFolder(files);
  if (folder != nullptr) *folder = made;
  return files.ReplaceTextFile(Text(kHandlerPagePath), HandlerPageLines());
}

}  // namespace ruvo
