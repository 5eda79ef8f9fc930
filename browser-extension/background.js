// The menu entry on links, and what choosing it does: the link goes to every service
// whose extension ends its address, each in a new tab; any other link brings up the
// notice page. Chrome and Edge run this file as the service worker; Firefox runs it
// after routing.js in an event page. Both then have ruvoRouting, made by build.mjs.
'use strict';

if (typeof importScripts === 'function') importScripts('routing.js');

const extensionApi = globalThis.browser ?? globalThis.chrome;
const menuEntryId = 'open-with-ruvo';

// The addresses to open for a link: as the handler page does it, an extension counts
// only where it ends the address, in any case, and the service gets the whole address
// as its one parameter.
function serviceAddressesFor(linkUrl) {
  const address = String(linkUrl ?? '');
  const lowered = address.toLowerCase();
  return ruvoRouting.services
    .filter((service) => service.extensions.some((extension) => lowered.endsWith(extension)))
    .map((service) => service.entry + encodeURIComponent(address));
}

// Menu entries outlive the background script, so they are made once per install or
// update; removeAll first, for an update finds the old entry still there.
async function registerMenu() {
  await extensionApi.contextMenus.removeAll();
  extensionApi.contextMenus.create({
    id: menuEntryId,
    title: 'Open with Ruvo Office Suite',
    contexts: ['link'],
  });
}

// The handler page's alert, as a small window of the extension's own page: nothing
// runs in the site and no permission is needed. Firefox for Android has no windows.
function showNotice() {
  const url = extensionApi.runtime.getURL('notice.html');
  if (extensionApi.windows) {
    return extensionApi.windows.create({ url, type: 'popup', width: 520, height: 230 });
  }
  return extensionApi.tabs.create({ url });
}

async function openWithRuvo(info) {
  if (info.menuItemId !== menuEntryId) return;
  const addresses = serviceAddressesFor(info.linkUrl);
  if (addresses.length === 0) {
    await showNotice();
    return;
  }
  for (const url of addresses) await extensionApi.tabs.create({ url });
}

extensionApi.runtime.onInstalled.addListener(registerMenu);
extensionApi.contextMenus.onClicked.addListener(openWithRuvo);
