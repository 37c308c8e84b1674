// Keeps one build of the site (build.js names its files and their sums) in a cache of its own,
// so that a second visit plays with no network. A new build installs beside the old one and
// takes over when no page of the site is open any more; the old cache goes then, whole.
'use strict';
importScripts('build.js');
const build = self.kestroveBuild;
const scope = self.registration.scope;
// Caches of every folder of the site share one store: each folder's are named after it.
const prefix = `kestrove ${scope} `;
const cacheName = `${prefix}${build.version} ${build.id}`;

const hex = (buffer) =>
  [...new Uint8Array(buffer)].map((b) => b.toString(16).padStart(2, '0')).join('');

self.addEventListener('install', (event) => {
  event.waitUntil((async () => {
    // The same name is the same build, worker included: what such a cache holds is kept, and
    // only what it lacks (an install cut short) is fetched.
    const existed = await caches.has(cacheName);
    const cache = await caches.open(cacheName);
    try {
      for (const [name, sum] of Object.entries(build.files)) {
        if (existed && (await cache.match(scope + name))) continue;
        const response = await fetch(new Request(scope + name, { cache: 'reload' }));
        if (!response.ok) throw new Error(`${name}: ${response.status}`);
        const bytes = await response.clone().arrayBuffer();
        // A file from another build (the site changing while this one installs) is refused:
        // the install fails, and is tried again at the next visit.
        if (hex(await crypto.subtle.digest('SHA-256', bytes)) !== sum)
          throw new Error(`${name} is not of build ${build.id}`);
        // A host that redirects (index.html to ./, say) gives a response a page load refuses.
        await cache.put(scope + name, response.redirected
          ? new Response(bytes, { status: response.status, headers: response.headers })
          : response);
      }
    } catch (e) {
      if (!existed) await caches.delete(cacheName);
      throw e;
    }
  })());
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys())
      if (name.startsWith(prefix) && name !== cacheName) await caches.delete(name);
    // No clients.claim(): a first visit plays from the network anyway, and claiming can stall
    // Chromium's handing over from one worker to the next.
  })());
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || !request.url.startsWith(scope)) return;
  let name = new URL(request.url).pathname.slice(new URL(scope).pathname.length);
  if (name === '') name = 'index.html';
  if (name === 'build.js') {
    // The build this worker holds, whatever the site has now.
    event.respondWith(new Response(`self.kestroveBuild = ${JSON.stringify(build)};\n`,
                                   { headers: { 'Content-Type': 'text/javascript' } }));
    return;
  }
  if (!Object.hasOwn(build.files, name)) return; // a script, another data folder: the network's
  // The page's address carries the command line; the page is the same for every one.
  event.respondWith(caches.match(scope + name, { cacheName }).then((hit) => hit || fetch(request)));
});
