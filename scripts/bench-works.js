'use strict';
// Prints how long saving and reopening a creation of 1000 items takes in the
// real TessaryMaker (not a test: figures vary with the machine). Two kinds:
// 1000 photos of a folder (stored by reference) and 1000 items that are not
// (the sample pictures, stored as copies in the creation). Each save is timed
// from the name's confirmation to "Creation saved"; each reopening, after a
// restart, from "Open" in the list to the picture being drawn.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" dbus-run-session -- node scripts/bench-works.js [count]
//
// Needs build/native/bin (scripts/build-maker.sh).
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { startHost } = require('../tests/e2e/host-session');
const { removeTree } = require('../tests/lib/remove-tree');

const COUNT = Number(process.argv[2] || 1000);
const IDLE = 'window.TY && window.TY.ui && window.TY.ui.hasResult() && !window.TY.ui.isBusy()';
const toastIs = (text) => `document.getElementById("toast").textContent === ${JSON.stringify(text)}`;

function folderSize(dir) {
  let total = 0;
  for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
    const p = path.join(dir, entry.name);
    total += entry.isDirectory() ? folderSize(p) : fs.statSync(p).size;
  }
  return total;
}

/** Saves the work under `name`; seconds from the confirmation to the answer. */
async function timeSave(host, name) {
  await host.run('document.getElementById("btnAlbumSave").click();');
  await host.waitFor('!document.getElementById("confirmDialog").hidden');
  const start = Date.now();
  await host.run('document.getElementById("confirmInput").value = arguments[0]; document.getElementById("confirmOk").click();', name);
  await host.waitFor(toastIs('Creation saved'), 600000);
  return (Date.now() - start) / 1000;
}

/** Opens the only listed creation in a restarted program; seconds until it is drawn. */
async function timeReopen(box) {
  const host = await startHost({ box });
  try {
    await host.waitFor('window.TY && window.TY.ui && window.TY.ui.regenerate');
    await host.run('document.getElementById("btnAlbumOpen").click();');
    await host.waitFor('document.querySelectorAll(".album-row").length === 1', 60000);
    const start = Date.now();
    await host.run('document.querySelector(".album-row .btn-accent").click();');
    await host.waitFor(`(${toastIs('Opened')} || /Skipped/.test(document.getElementById("toast").textContent)) && ${IDLE}`, 600000);
    const seconds = (Date.now() - start) / 1000;
    const items = await host.run('return document.querySelectorAll(".thumb").length;');
    return { seconds, items };
  } finally {
    await host.close({ keep: true });
  }
}

async function measure(label, args, fill) {
  const host = await startHost({ args });
  const box = host.box;
  try {
    await host.waitFor('window.TY && window.TY.ui && window.TY.ui.regenerate', 60000);
    const importStart = Date.now();
    if (fill) await host.run(fill);
    await host.waitFor(`${IDLE} && document.querySelectorAll(".thumb").length === ${COUNT}`, 1200000);
    const imported = (Date.now() - importStart) / 1000;
    const saved = await timeSave(host, label);
    await host.close({ keep: true });
    const albums = path.join(box.root, 'data', 'Tessary', 'albums');
    const size = folderSize(albums);
    const reopened = await timeReopen(box);
    console.log(`${label}: import ${imported.toFixed(1)} s; save ${saved.toFixed(1)} s (creation ${(size / 1048576).toFixed(1)} MiB); `
      + `reopen after a restart ${reopened.seconds.toFixed(1)} s (${reopened.items} items)`);
  } finally {
    await removeTree(box.root);
  }
}

(async () => {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'tessary-bench-works-'));
  try {
    console.log(`making ${COUNT} photos ...`);
    execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', 'testsrc2=size=800x600:rate=25', '-frames:v', String(COUNT),
      '-q:v', '5', path.join(folder, 'photo%04d.jpg')]);
    await measure(`${COUNT} folder photos`, [`--photo-folder=${folder}`], null);
    await measure(`${COUNT} copied items`, [], `window.TY.ui.importFiles(window.TY.photos.makeSamplePhotos(${COUNT}));`);
  } finally {
    await removeTree(folder);
  }
})().catch((err) => {
  console.error(err);
  process.exit(1);
});
