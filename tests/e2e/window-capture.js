'use strict';
// Pictures of the real program's window, taken from the X display.
const { execFileSync } = require('node:child_process');

/**
 * Grabs the window from the X display into a PNG file: WebKitGTK's own
 * WebDriver screenshot waits for the page's next repaint, which never comes
 * once the page is still.
 * @param {{driver: any}} host a session of host-session.js
 * @param {string} file
 */
async function grabWindow(host, file) {
  const { x, y, width, height } = await host.driver.manage().window().getRect();
  execFileSync('import', ['-window', 'root', '-crop', `${width}x${height}+${x}+${y}`, '+repage', file]);
}

module.exports = { grabWindow };
