// Runs the Khronos glTF validator on each GLB file named on the command line; prints its
// report's counts and messages and fails when any file has an error or a warning.
import fs from 'node:fs';
import validator from 'gltf-validator';

let failed = false;
for (const path of process.argv.slice(2)) {
  const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(path)));
  const { numErrors, numWarnings, messages } = report.issues;
  console.log(`${path}: ${numErrors} errors, ${numWarnings} warnings`);
  for (const message of messages) console.log(`  ${message.code}: ${message.message}`);
  if (numErrors > 0 || numWarnings > 0) failed = true;
}
process.exit(failed ? 1 : 0);
