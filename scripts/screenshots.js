'use strict';
// Screenshots of the real TessaryMaker window holding a pile of the sample
// photos, in each theme and language, switched through the page's own
// settings controls. Run under a display (scripts/screenshots.sh makes one);
// writes out/screenshots/tessary-<theme>-<lang>.png.
const fs = require('node:fs');
const path = require('node:path');
const { ROOT, startHost } = require('../tests/e2e/host-session');
const { grabWindow } = require('../tests/e2e/window-capture');

const OUT_DIR = path.join(ROOT, 'out', 'screenshots');
const THEMES = ['dark', 'light'];
const LANGUAGES = ['ja', 'en'];
/** Time for the page to repaint after a switch. */
const SETTLE_MS = 500;

/** Picks `value` in the select `id` the way a user does, so its change handler runs. */
const CHOOSE = `const select = document.getElementById(arguments[0]);
select.value = arguments[1];
select.dispatchEvent(new Event('change', { bubbles: true }));`;

async function main() {
  fs.mkdirSync(OUT_DIR, { recursive: true });
  const host = await startHost({ args: [`--photo-folder=${path.join(ROOT, 'samples', 'photos')}`] });
  try {
    // The sample folder holds a memo, so the page first asks about memos.
    await host.waitFor('window.TY && window.TY.ui && !document.getElementById("confirmDialog").hidden', 30000);
    await host.run('document.getElementById("confirmOk").click();');
    await host.waitFor('window.TY.ui.hasResult() && !window.TY.ui.isBusy()', 60000);
    await host.waitFor('document.getElementById("toast").hidden', 10000);
    for (const lang of LANGUAGES) {
      await host.run(CHOOSE, 'languageSelect', lang);
      for (const theme of THEMES) {
        await host.run(CHOOSE, 'themeSelect', theme);
        await new Promise((r) => setTimeout(r, SETTLE_MS));
        const file = path.join(OUT_DIR, `tessary-${theme}-${lang}.png`);
        await grabWindow(host, file);
        console.log(path.relative(ROOT, file));
      }
    }
  } finally {
    await host.close();
  }
}

main().catch((err) => {
  console.error(err);
  process.exitCode = 1;
});
