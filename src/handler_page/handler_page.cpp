#include "handler_page/handler_page.h"

#include "handler_page/service_urls.h"
#include "registration/record.h"

namespace ruvo {

const std::wstring_view kScribeServiceUrl = RUVO_SCRIBE_URL;
const std::wstring_view kGridServiceUrl = RUVO_GRID_URL;
const std::wstring_view kDeckServiceUrl = RUVO_DECK_URL;

namespace {

// Lines repeated by the check functions; the first function's loop is written
// differently and keeps its own text.
constexpr std::wstring_view kLoop = L"for(var i=0;i<ext.length;i++) {";
// A shorter address has no extension, yet lastIndexOf's -1 would equal its length - 4.
constexpr std::wstring_view kMatch =
    L"if(url && url.length>=4 && (url.toLowerCase().lastIndexOf(ext[i])==(url.length-4))) {";
constexpr std::wstring_view kReturn = L"return true; } }  return false; } ";
constexpr std::wstring_view kOpen = L"window.open(targeturl,'_blank'); } ";

// The service receives the link's address as one encoded query parameter.
Text TargetUrlLine(std::wstring_view service, std::wstring_view pathAndKey) {
  return L"targeturl = '" + Text(service) + Text(pathAndKey) +
         L"'+encodeURIComponent(docurl.href);";
}

}  // namespace

std::vector<Text> HandlerPageLines() {
  return {
      L"<html>",
      L"<head>",
      L"<script language='javascript'>",
      L"function isRuvoScribeCompatible(url) {",
      L"var ext=['.doc','.rtf','.odt','.sxw'];",
      L"for(i=0;i<ext.length;i++){",
      L"if(url && url.length>=4 && (url.toLowerCase().lastIndexOf(ext[i])==(url.length-4)) ) {",
      L"return true; } } return false; }",
      L"function isRuvoGridCompatible(url) {",
      L"var ext=['.xls','.sxc','.csc','.csv'];",
      Text(kLoop),
      Text(kMatch),
      Text(kReturn),
      L"function isRuvoDeckCompatible(url) {",
      L"var ext=['.sxi','.ppt','.pps'];",
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
      TargetUrlLine(kScribeServiceUrl, L"/publicimport.im?url="),
      Text(kOpen),
      L"if ( gridflag == true) { ",
      TargetUrlLine(kGridServiceUrl, L"/view.do?url="),
      Text(kOpen),
      L"if ( deckflag == true) { ",
      TargetUrlLine(kDeckServiceUrl, L"/publicimport.im?url="),
      Text(kOpen),
      L"if ( scribeflag == false && gridflag == false && deckflag == false ) {",
      L"alert('Installer currently supports Doc (doc, rtf, odt and sxw), Grid ( xls, sxc, csv "
      L"and csc) and Deck ( sxi, ppt and pps) Links .'); } }",
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

void CreateInstallFolder(FileSystem& files) {
  // Usually the folder is there from an earlier install; any other failure shows
  // when the page is written into it.
  static_cast<void>(files.MakeFolder(Text(kInstallFolderPath)));
}

FileResult WriteHandlerPage(FileSystem& files) {
  CreateInstallFolder(files);
  return files.ReplaceTextFile(Text(kHandlerPagePath), HandlerPageLines());
}

}  // namespace ruvo
