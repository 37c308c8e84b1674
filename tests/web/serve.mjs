// Serves a folder on 127.0.0.1 until stopped: node serve.mjs DIR [PORT]
import { serve } from './server.mjs';

const [dir, port = '8000'] = process.argv.slice(2);
const server = await serve([['/', dir]], Number(port));
console.log(`Kestrove is at http://127.0.0.1:${server.address().port}/ (Ctrl+C stops)`);
