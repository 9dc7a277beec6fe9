// A plain static server for the browser tests and benchmark: Python's http.server on a free
// port of the loopback interface, serving one folder.
import { spawn } from 'node:child_process';

// Resolves to { child, url } once the server listens; rejects if it ends first.
export function startServer(folder) {
  return new Promise((resolve, reject) => {
    const child = spawn(
      'python3',
      ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', folder],
      {
        stdio: ['ignore', 'pipe', 'ignore'],
      },
    );
    let seen = '';
    child.stdout.on('data', (chunk) => {
      seen += chunk;
      const match = /port (\d+)/.exec(seen);
      if (match) resolve({ child, url: `http://127.0.0.1:${match[1]}/` });
    });
    child.on('exit', (code) => reject(new Error(`the static server ended (${code}): ${seen}`)));
  });
}
