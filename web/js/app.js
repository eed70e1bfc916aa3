// TY.ui: the generator page's controller, one closure for the life of the
// page. This part holds the screen's shared pieces (theme, language, notices,
// busy indicator, confirm dialog, help, settings toggle, keyboard, dropping,
// importing materials and the sample photos); the generate, save and
// wallpaper flows build on them.
(function () {
  'use strict';
  const TY = /** @type {any} */ (window).TY;
  const T = TY.i18n.T;
  const photos = TY.photos;
  const bridge = TY.bridge;

  /** @param {string} id @returns {any} */
  const $ = (id) => document.getElementById(id);

  /** @param {string} name @returns {string|null} */
  function addressParam(name) {
    try { return new URLSearchParams(window.location.search).get(name); } catch { return null; }
  }

  // ------------------------------------------------------------ theme
  const THEME_KEY = 'tessary.theme';

  function storedTheme() {
    try { return window.localStorage.getItem(THEME_KEY) === 'light' ? 'light' : 'dark'; } catch { return 'dark'; }
  }

  /** @param {string} theme "dark" or "light" */
  function applyTheme(theme) {
    const value = theme === 'light' ? 'light' : 'dark';
    document.documentElement.dataset.theme = value;
    $('themeSelect').value = value;
  }

  $('themeSelect').addEventListener('change', () => {
    const theme = $('themeSelect').value === 'light' ? 'light' : 'dark';
    applyTheme(theme);
    try { window.localStorage.setItem(THEME_KEY, theme); } catch { /* applied for this run only */ }
  });

  // ------------------------------------------------------------ language
  function tellHostLanguage() {
    bridge.post({ cmd: 'setLanguage', lang: TY.i18n.lang });
  }

  $('languageSelect').addEventListener('change', () => TY.i18n.setPreference($('languageSelect').value));
  window.addEventListener('ty-languagechange', () => {
    tellHostLanguage();
    refreshControls();
  });

  // ------------------------------------------------------------ notices
  const TOAST_MS = 3200;
  let toastTimer = 0;

  /**
   * One notice at a time; a new one replaces the text and restarts the time.
   * @param {string} message
   * @param {boolean} [isError]
   */
  function toast(message, isError) {
    const el = $('toast');
    el.textContent = String(message);
    el.classList.toggle('error', !!isError);
    el.hidden = false;
    clearTimeout(toastTimer);
    toastTimer = window.setTimeout(() => { el.hidden = true; }, TOAST_MS);
  }

  // ------------------------------------------------------ busy and controls
  let busy = false;

  /**
   * The page's one lock: flows that must not overlap set it for their duration.
   * @param {boolean} on
   * @param {string} [text] shown in the busy indicator
   */
  function setBusy(on, text) {
    busy = !!on;
    if (text !== undefined) setBusyText(text);
    $('busyChip').hidden = !busy;
    refreshControls();
  }

  function refreshControls() {
    const total = photos.items.length;
    const included = photos.includedItems().length;
    $('itemCount').textContent = T(included + ' 件', included + ' items');
    $('btnClear').hidden = total === 0;
    $('emptyState').hidden = total > 0;
    for (const id of ['btnPickFolder', 'btnPickFiles', 'btnEmptyFolder', 'btnEmptyFiles', 'btnSamples']) $(id).disabled = busy;
  }

  // ------------------------------------------------------------ confirm dialog
  const CONFIRM_TEXT_MAX = 80;
  /** @type {any} */
  let confirmOptions = null;
  /** @type {any} where the focus goes back when the dialog closes */
  let confirmReturnFocus = null;

  /**
   * The page's own question box (never the browser's, whose caption would
   * show the page's origin). Opening it again replaces content and actions.
   * @param {{title: string, message?: string, okLabel: string, onOk?: (text?: string) => void,
   *   secondLabel?: string, onSecond?: (text?: string) => void, input?: string|null, onCancel?: () => void}} options
   */
  function showConfirm(options) {
    if (!confirmOptions) confirmReturnFocus = document.activeElement;
    confirmOptions = options;
    $('confirmTitle').textContent = options.title || '';
    $('confirmMessage').textContent = options.message || '';
    $('confirmOk').textContent = options.okLabel || 'OK';
    $('confirmSecond').textContent = options.secondLabel || '';
    $('confirmSecond').hidden = !options.secondLabel;
    const field = $('confirmInput');
    const withField = options.input !== undefined && options.input !== null;
    field.hidden = !withField;
    field.value = withField ? String(options.input).slice(0, CONFIRM_TEXT_MAX) : '';
    $('confirmDialog').hidden = false;
    if (withField) {
      field.focus();
      field.select();
    } else {
      $('confirmOk').focus();
    }
  }

  function confirmOpen() {
    return !$('confirmDialog').hidden;
  }

  /** @param {'onOk'|'onSecond'} which */
  function confirmWith(which) {
    if (!confirmOptions) return;
    const field = $('confirmInput');
    let text;
    if (!field.hidden) {
      text = field.value.trim();
      if (!text) {
        field.focus();
        return;
      }
    }
    const action = confirmOptions[which];
    closeConfirm();
    if (action) action(text);
  }

  function cancelConfirm() {
    const action = confirmOptions && confirmOptions.onCancel;
    closeConfirm();
    if (action) action();
  }

  function closeConfirm() {
    confirmOptions = null;
    $('confirmDialog').hidden = true;
    if (confirmReturnFocus && confirmReturnFocus.isConnected) confirmReturnFocus.focus();
    confirmReturnFocus = null;
  }

  $('confirmOk').addEventListener('click', () => confirmWith('onOk'));
  $('confirmSecond').addEventListener('click', () => confirmWith('onSecond'));
  $('confirmCancel').addEventListener('click', cancelConfirm);
  $('confirmDialog').addEventListener('click', (e) => { if (e.target === $('confirmDialog')) cancelConfirm(); });
  $('confirmInput').addEventListener('keydown', (e) => {
    if (e.key === 'Enter' && !e.isComposing) {
      e.preventDefault();
      confirmWith('onOk');
    }
  });

  // ------------------------------------------------------------ help and settings
  function setHelpOpen(open) {
    $('helpDialog').hidden = !open;
    if (open) $('helpClose').focus();
    else $('btnHelp').focus();
  }

  $('btnHelp').addEventListener('click', () => setHelpOpen(true));
  $('helpClose').addEventListener('click', () => setHelpOpen(false));
  $('helpDialog').addEventListener('click', (e) => { if (e.target === $('helpDialog')) setHelpOpen(false); });

  $('btnSettings').addEventListener('click', () => {
    const open = $('settingsPanel').hidden;
    $('settingsPanel').hidden = !open;
    $('btnSettings').setAttribute('aria-pressed', String(open));
    $('btnSettings').setAttribute('aria-expanded', String(open));
  });

  // ------------------------------------------------------------ keyboard
  /**
   * One handler for the whole window; the first rule that matches acts.
   * @type {Array<{when: (e: KeyboardEvent) => boolean, run: (e: KeyboardEvent) => void}>}
   */
  const keyRules = [
    // No page zoom by accident; assistive zoom of the system stays usable.
    { when: (e) => e.ctrlKey && ['+', '-', '=', '0'].includes(e.key), run: (e) => e.preventDefault() },
    { when: (e) => e.key === 'Escape' && confirmOpen(), run: () => cancelConfirm() },
    { when: (e) => e.key === 'Escape' && !$('helpDialog').hidden, run: () => setHelpOpen(false) },
  ];

  window.addEventListener('keydown', (e) => {
    const rule = keyRules.find((r) => r.when(e));
    if (rule) rule.run(e);
  });
  window.addEventListener('wheel', (e) => { if (e.ctrlKey) e.preventDefault(); }, { passive: false });

  // ------------------------------------------------------------ importing
  /**
   * Sums an import's counts into one notice.
   * @param {{added: number, skipped: number, overflow: number}} photoResult
   * @param {{added: number, skipped: number, overflow: number}|null} memoResult
   * @param {number} otherCount files of unsupported types
   * @param {number} memoDeclined memos the user chose not to import
   */
  function reportMaterialImport(photoResult, memoResult, otherCount, memoDeclined) {
    const sum = (key) => (photoResult ? photoResult[key] : 0) + (memoResult ? memoResult[key] : 0);
    const added = sum('added');
    const overflow = sum('overflow');
    const skipped = sum('skipped');
    const notes = [];
    if (overflow > 0) notes.push(T(`上限 ${photos.MAX_PHOTOS} 件を超えた ${overflow} 件`, `${overflow} over the ${photos.MAX_PHOTOS} limit`));
    if (skipped > 0) notes.push(T(`読み込めなかった ${skipped} 件`, `${skipped} that could not be read`));
    if (otherCount > 0) notes.push(T(`未対応の形式 ${otherCount} 件`, `${otherCount} in unsupported formats`));
    if (memoDeclined > 0) notes.push(T(`取り込まなかったメモ ${memoDeclined} 件`, `${memoDeclined} memos you declined`));
    if (added > 0) {
      if (notes.length) toast(T(`${added} 件を追加しました（${notes.join('、')}）`, `Added ${added} (${notes.join(', ')})`), true);
      else toast(T(`${added} 件を追加しました`, `Added ${added} items`));
    } else if (notes.length) {
      const how = T(`対応形式: 写真 JPEG / PNG / BMP / HEIC、メモ UTF-8 の .txt / .md（先頭 ${photos.MEMO_MAX_LINES} 行）`,
        `Supported: photos JPEG / PNG / BMP / HEIC, memos UTF-8 .txt / .md (first ${photos.MEMO_MAX_LINES} lines)`);
      toast(T(`素材を追加できませんでした（${notes.join('、')}。${how}）`, `No items could be added (${notes.join(', ')}; ${how})`), true);
    }
    refreshControls();
  }

  /**
   * Memos end up in the picture, and so possibly in screen sharing: ask first.
   * @param {number} count
   * @returns {Promise<boolean>} whether to import them
   */
  function askAboutMemos(count) {
    if (count === 0) return Promise.resolve(false);
    return new Promise((resolve) => showConfirm({
      title: T('機密のメモは使わないでください', 'Please do not use sensitive memos'),
      message: T(`メモファイルが ${count} 件含まれています。\n壁紙に設定すると、画面共有やスクリーンショットに写り、他の人に読まれることがあります。`,
        `${count} memo file(s) are included.\nIf you set this as your wallpaper, they may appear in screen sharing or screenshots and be read by others.`),
      okLabel: T('理解して取り込む', 'I understand, import'),
      onOk: () => resolve(true),
      onCancel: () => resolve(false),
    }));
  }

  /** @param {string} text */
  function setBusyText(text) {
    $('busyText').textContent = text;
  }

  /**
   * The common course of every import: the memo warning, the lock while
   * adding, then one report.
   * @param {number} memoCount
   * @param {() => Promise<any>} addPhotos
   * @param {() => Promise<any>} addMemos
   * @param {number} otherCount files of unsupported types
   */
  async function runImport(memoCount, addPhotos, addMemos, otherCount) {
    const memoAccepted = await askAboutMemos(memoCount);
    if (busy) return;
    setBusy(true, T('素材を読み込んでいます…', 'Loading items…'));
    let photoResult = null;
    let memoResult = null;
    try {
      photoResult = await addPhotos();
      if (memoAccepted) {
        setBusyText(T('メモを紙にしています…', 'Turning memos into paper…'));
        memoResult = await addMemos();
      }
    } finally {
      setBusy(false);
    }
    reportMaterialImport(photoResult, memoResult, otherCount, memoAccepted ? 0 : memoCount);
  }

  /**
   * Imports dropped, picked or sample files: photos and, when accepted, memos.
   * @param {ArrayLike<File>} files
   */
  function importFiles(files) {
    const split = photos.splitMaterials(files);
    return runImport(split.memos.length,
      () => photos.addBlobs(split.photos, (done, total) => setBusyText(T(`HEIC を変換しています… ${done}/${total}`, `Converting HEIC… ${done}/${total}`))),
      () => photos.addMemoFiles(split.memos),
      split.others.length);
  }

  /** Absolute path of the folder last imported through the host. */
  let sourceFolder = null;

  /**
   * Adds the folder the host listed for us. Items of an earlier folder no
   * longer belong to the source folder, so a saved creation keeps copies of them.
   * @param {{folder?: string, baseUrl: string, photos?: string[], memos?: string[]}} picked
   */
  function importHostFolder(picked) {
    const folder = picked.folder || null;
    if (sourceFolder && folder !== sourceFolder) {
      for (const it of photos.items) if (it.origin === 'folder') it.origin = 'copied';
    }
    sourceFolder = folder;
    const memoNames = Array.isArray(picked.memos) ? picked.memos : [];
    return runImport(memoNames.length,
      () => photos.addFromHost(picked.baseUrl, picked.photos || [], (done, total) => setBusyText(T(`素材を読み込んでいます… ${done}/${total}`, `Loading items… ${done}/${total}`))),
      () => photos.addMemosFromHost(picked.baseUrl, memoNames),
      0);
  }

  bridge.on('materialFolderPicked', (picked) => { if (picked && picked.baseUrl) importHostFolder(picked); });

  const folderPicker = document.createElement('input');
  folderPicker.type = 'file';
  folderPicker.multiple = true;
  folderPicker.webkitdirectory = true;
  folderPicker.hidden = true;
  document.body.appendChild(folderPicker);

  function pickFolder() {
    if (busy) return;
    if (bridge.isHosted) bridge.post({ cmd: 'pickMaterialFolder', recursive: $('chkRecursive').checked });
    else folderPicker.click();
  }

  function pickFiles() {
    if (!busy) $('filePicker').click();
  }

  // The browser's directory picker always lists sub-folders; without the box
  // only files directly in the chosen folder (two path segments) are kept.
  folderPicker.addEventListener('change', () => {
    const recursive = $('chkRecursive').checked;
    const files = Array.from(folderPicker.files || []).filter((f) => recursive || f.webkitRelativePath.split('/').length === 2);
    folderPicker.value = '';
    if (files.length) importFiles(files);
  });
  $('filePicker').addEventListener('change', () => {
    const files = Array.from($('filePicker').files || []);
    $('filePicker').value = '';
    if (files.length) importFiles(files);
  });
  $('btnPickFolder').addEventListener('click', pickFolder);
  $('btnEmptyFolder').addEventListener('click', pickFolder);
  $('btnPickFiles').addEventListener('click', pickFiles);
  $('btnEmptyFiles').addEventListener('click', pickFiles);

  // ------------------------------------------------------------ sample photos
  const SAMPLE_COUNT = 10;

  /** @param {number} [count] */
  function importSamples(count = SAMPLE_COUNT) {
    if (!busy) importFiles(photos.makeSamplePhotos(count));
  }

  $('btnSamples').addEventListener('click', () => importSamples());

  // ------------------------------------------------------------ dropping
  const INTERNAL_DRAG_TYPES = ['application/x-tessary-star', 'application/x-tessary-photo'];
  let dragDepth = 0;
  let internalDrag = false;

  // Reordering thumbnails or favourites is a drag inside the page: those go
  // to their own targets, never to the import.
  document.addEventListener('dragstart', () => { internalDrag = true; });
  document.addEventListener('dragend', () => { internalDrag = false; });

  /** @param {DragEvent} e */
  function isOutsideFileDrag(e) {
    if (internalDrag) return false;
    const types = Array.from((e.dataTransfer && e.dataTransfer.types) || []);
    return !types.some((t) => INTERNAL_DRAG_TYPES.includes(t));
  }

  window.addEventListener('dragenter', (e) => {
    if (!isOutsideFileDrag(e)) return;
    e.preventDefault();
    dragDepth++;
    $('dropVeil').hidden = false;
  });
  window.addEventListener('dragover', (e) => {
    if (isOutsideFileDrag(e)) e.preventDefault();
  });
  window.addEventListener('dragleave', (e) => {
    if (!isOutsideFileDrag(e)) return;
    dragDepth = Math.max(0, dragDepth - 1);
    if (dragDepth === 0) $('dropVeil').hidden = true;
  });
  window.addEventListener('drop', async (e) => {
    dragDepth = 0;
    $('dropVeil').hidden = true;
    if (!isOutsideFileDrag(e)) return;
    e.preventDefault();
    if (busy) return;
    const files = await photos.collectDropped(e.dataTransfer, $('chkRecursive').checked);
    if (files.length) importFiles(files);
  });

  // ------------------------------------------------------------ start-up
  // The title offers the caption fonts first; fonts of this computer follow.
  for (const option of $('captionFont').options) $('titleFont').appendChild(option.cloneNode(true));
  applyTheme(['dark', 'light'].includes(addressParam('theme')) ? addressParam('theme') : storedTheme());
  $('languageSelect').value = TY.i18n.preference;
  tellHostLanguage();
  refreshControls();
  if (addressParam('demo') !== null) {
    const wanted = parseInt(addressParam('demo'), 10);
    importSamples(Number.isFinite(wanted) && wanted > 0 ? wanted : SAMPLE_COUNT);
  }

  TY.ui = {
    toast, showConfirm, setBusy, refreshControls, importFiles, reportMaterialImport,
    isBusy: () => busy,
  };
})();
