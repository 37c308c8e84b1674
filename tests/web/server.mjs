// A static file server on 127.0.0.1 for the site and the folders a run reads: each URL prefix
// maps to a folder, nothing outside those folders is served.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import path from 'node:path';

const kTypes = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.wasm': 'application/wasm', '.png': 'image/png', '.jpg': 'image/jpeg',
  '.webmanifest': 'application/manifest+json',
};

// mounts: [['/', siteDir], ['/run-data/', dataDir], ...]; longest prefix wins.
export function serve(mounts, port = 0) {
  const sorted = [...mounts].sort((a, b) => b[0].length - a[0].length);
  const server = createServer(async (req, res) => {
    let url;
    try {
      url = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    } catch {
      res.writeHead(400).end();
      return;
    }
    if (url.endsWith('/')) url += 'index.html';
    for (const [prefix, dir] of sorted) {
      if (!url.startsWith(prefix)) continue;
      const root = path.resolve(dir);
      const file = path.resolve(root, '.' + path.posix.normalize('/' + url.slice(prefix.length)));
      if (file !== root && !file.startsWith(root + path.sep)) break;
      try {
        const body = await readFile(file);
        res.writeHead(200, {
          'Content-Type': kTypes[path.extname(file).toLowerCase()] || 'application/octet-stream',
          'Cache-Control': 'no-store',
        });
        res.end(body);
      } catch {
        res.writeHead(404).end();
      }
      return;
    }
    res.writeHead(404).end();
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => resolve(server));
  });
}
