// The menu entry on links, and what choosing it does: the link goes to every service
// whose extension ends its address, each in a new tab; any other link brings up the
// notice page. Chrome and Edge run this file as the service worker; Firefox runs it
// after routing.js in an event page. Both then have ruvoRouting, made by build.mjs.
// An organisation may hand it other services by policy (storage.managed, "services").
'use strict';

if (typeof importScripts === 'function') importScripts('routing.js');

const extensionApi = globalThis.browser ?? globalThis.chrome;
const menuEntryId = 'open-with-ruvo';

// The policy's services when every one has an http or https entry address (no fragment,
// which would swallow the link) and a list of extensions such as ".doc"; otherwise null,
// and the built ones stand. Chrome checks the policy against schema.json first; Firefox
// checks nothing.
function servicesOfPolicy(policy) {
  const { services } = policy ?? {};
  if (!Array.isArray(services) || services.length === 0) return null;
  const valid = services.every((service) => {
    const { entry, extensions } = Object(service);
    let url = null;
    try {
      url = new URL(entry);
    } catch {
      return false;
    }
    return ['http:', 'https:'].includes(url.protocol) && !String(entry).includes('#') &&
      Array.isArray(extensions) && extensions.length > 0 &&
      extensions.every((e) => typeof e === 'string' && /^\.[A-Za-z0-9]+$/.test(e));
  });
  return valid ? services.map(({ entry, extensions }) =>
    ({ entry, extensions: extensions.map((e) => e.toLowerCase()) })) : null;
}

// Read at every choice, so that a policy change counts at once (Chrome and Edge pass
// it on while they run; Firefox reads its policies when it starts). Firefox without a
// policy for the extension rejects the read: the built services stand.
async function currentServices() {
  let policy;
  try {
    policy = await extensionApi.storage.managed.get('services');
  } catch {
    policy = null;
  }
  const fromPolicy = servicesOfPolicy(policy);
  if (policy?.services !== undefined && fromPolicy === null) {
    console.warn('RUVO LinkLens: the policy\'s "services" are not valid; using the built ones');
  }
  return fromPolicy ?? ruvoRouting.services;
}

// The addresses to open for a link: as the handler page does it, an extension counts
// only where it ends the address, in any case, and the service gets the whole address
// as its one parameter.
async function serviceAddressesFor(linkUrl) {
  const address = String(linkUrl ?? '');
  const lowered = address.toLowerCase();
  return (await currentServices())
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
  const addresses = await serviceAddressesFor(info.linkUrl);
  if (addresses.length === 0) {
    await showNotice();
    return;
  }
  for (const url of addresses) await extensionApi.tabs.create({ url });
}

extensionApi.runtime.onInstalled.addListener(registerMenu);
extensionApi.contextMenus.onClicked.addListener(openWithRuvo);
