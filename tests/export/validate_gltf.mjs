// Runs the Khronos glTF validator on one file and prints its counts as one JSON line.
// Usage: node validate_gltf.mjs VALIDATOR_PACKAGE_FOLDER FILE.{glb,gltf}
import fs from 'fs';
import path from 'path';
import { pathToFileURL } from 'url';

const [packageFolder, file] = process.argv.slice(2);
const validator = (await import(pathToFileURL(path.join(packageFolder, 'index.js')).href)).default;
const folder = path.dirname(fs.realpathSync(file));
const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
  uri: path.basename(file),
  externalResourceFunction: (uri) =>
    new Promise((resolve, reject) => {
      try {
        resolve(new Uint8Array(fs.readFileSync(path.join(folder, decodeURIComponent(uri)))));
      } catch (error) {
        reject(error.toString());
      }
    }),
});
const issues = report.issues;
console.log(JSON.stringify({
  errors: issues.numErrors,
  warnings: issues.numWarnings,
  messages: issues.messages.filter((m) => m.severity <= 1).slice(0, 5),
}));
