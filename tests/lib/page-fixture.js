'use strict';
// One seeded Chromium page shared by the tests of a file: opened before the
// first test with the given page scripts (and an optional setup script
// evaluated in it), closed after the last.
const test = require('node:test');
const { pageSession, SEED_RANDOM_SCRIPT } = require('./browser');

/**
 * @param {string[]} scripts page scripts under web/js, in load order
 * @param {string} [setup] script evaluated in the page after seeding
 * @returns {{page: any}} filled in before the first test runs
 */
function sharedPage(scripts, setup) {
  const state = { page: null, session: null };
  test.before(async () => {
    state.session = await pageSession({ scripts });
    state.page = await state.session.newPage();
    await state.page.evaluate(SEED_RANDOM_SCRIPT);
    if (setup) await state.page.evaluate(setup);
  });
  test.after(async () => { if (state.session) await state.session.close(); });
  return state;
}

module.exports = { sharedPage };
