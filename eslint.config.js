'use strict';
const js = require('@eslint/js');
const globals = require('globals');

module.exports = [
  { ignores: ['node_modules/**', 'build/**', 'out/**'] },
  js.configs.recommended,
  {
    files: ['web/js/**/*.js'],
    languageOptions: {
      sourceType: 'script',
      ecmaVersion: 2022,
      globals: { ...globals.browser, TY: 'writable' },
    },
    rules: { 'no-unused-vars': ['error', { args: 'none' }] },
  },
  {
    files: ['**/*.js', '**/*.cjs', '**/*.mjs'],
    ignores: ['web/**'],
    languageOptions: {
      sourceType: 'commonjs',
      ecmaVersion: 2022,
      globals: { ...globals.node },
    },
    rules: { 'no-unused-vars': ['error', { args: 'none' }] },
  },
  {
    files: ['tests/browser/**/*.js', 'scripts/**/*.js'],
    languageOptions: { globals: { ...globals.node, ...globals.browser, TY: 'readonly' } },
  },
];
