// The page's worker: it keeps the page's own files in a cache named after this build,
// so an installed game starts with no network. A new build is a new worker (its cache
// name differs), which fills its own cache and throws the older ones away. Anything
// else the page fetches (the recordings it watches) goes to the network as before.
'use strict';
var CACHE = 'quillrun-@QR_PAGE_VERSION@';
var FILES = ['index.html', 'quillrun.js', 'quillrun.wasm', 'quillrun.data', 'fonts/ipag.ttf',
             'manifest.webmanifest', 'icons/quillrun-48.png', 'icons/quillrun-128.png', 'icons/quillrun-256.png'];

self.addEventListener('install', function (event) {
  event.waitUntil(caches.open(CACHE).then(function (cache) {
    return cache.addAll(FILES.map(function (file) { return new Request(file, {cache: 'reload'}); }));
  }).then(function () { return self.skipWaiting(); }));
});

self.addEventListener('activate', function (event) {
  event.waitUntil(caches.keys().then(function (names) {
    return Promise.all(names.filter(function (name) {
      return name.indexOf('quillrun-') === 0 && name !== CACHE;
    }).map(function (name) { return caches.delete(name); }));
  }).then(function () { return self.clients.claim(); }));
});

// The page's own file for a request, relative to the worker's folder; null for others.
var ownFile = function (request) {
  var url = new URL(request.url);
  var base = new URL(self.registration.scope);
  if (request.method !== 'GET' || url.origin !== base.origin || url.pathname.indexOf(base.pathname) !== 0)
    return null;
  var file = url.pathname.slice(base.pathname.length);
  if (file === '' && request.mode === 'navigate') file = 'index.html';
  return FILES.indexOf(file) >= 0 ? file : null;
};

self.addEventListener('fetch', function (event) {
  var file = ownFile(event.request);
  if (file === null) return;
  // The page's query (?watch=, ?seed=) is the page's own business: the same file serves.
  event.respondWith(caches.open(CACHE).then(function (cache) {
    return cache.match(file).then(function (kept) { return kept || fetch(event.request); });
  }));
});
