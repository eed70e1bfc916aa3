// The public surface of every page module, as the other page files see it.
// Each script assigns its module to window.TY, and that assignment is checked
// against these declarations, so a call from one page file into another is
// checked too. Records that the page builds freely (play data, generation
// results, album settings) stay open; their members are described where
// they are made.
declare namespace Tessary {
  /** The page's namespace: one member per script, in load order. */
  interface Namespace {
    i18n: I18n;
    bridge: Bridge;
    layout: Layout;
    album: Album;
    render: Render;
    photos: Photos;
    video: Video;
    ui: Ui;
    wallpaper: Wallpaper;
  }

  type Canvas = HTMLCanvasElement | OffscreenCanvas;
  type Ctx = CanvasRenderingContext2D;
  type Progress = (done: number, total: number) => void;
  type Label = { ja: string; en: string };
  type Box = { x: number; y: number; w: number; h: number };
  type Area = { x0: number; y0: number; x1: number; y1: number };
  /** A decoded picture: an ImageBitmap, or a canvas where the browser lacks resizing decodes. */
  type Picture = ImageBitmap | HTMLCanvasElement;

  /** One print of a pile: centre, rotation (radians), outer size and photo. */
  interface Placement {
    x: number;
    y: number;
    rot: number;
    outerW: number;
    outerH: number;
    photoIndex: number;
    featured?: boolean;
    albumOnly?: boolean;
    paperLift?: number;
    tapePattern?: string;
  }
  interface Grid { cols: number; rows: number; cellW: number; cellH: number; outerW: number }
  interface CaptionCfg { font?: string; size?: string }
  /** A play-data record (see normalizePlayData); runtime members ride along. */
  type PlayData = Record<string, any>;
  /** A timing record of an animation, in seconds (video.timing). */
  interface Timing {
    stagger: number; fallDur: number; titleDur: number; spotDur: number; spotMove: number;
    spotHold: number; spotReturn: number; hold: number; total: number; rate: number;
    [member: string]: number;
  }
  /** The album's timing adds the cover, the spreads and their turns (album.timing). */
  interface AlbumTiming extends Timing {
    coverOpenDur: number; pageHold: number; turnDur: number; lastHold: number; closeDur: number; spreads: number;
  }
  type AlbumCfg = Record<string, any>;

  // ------------------------------------------------------------------ i18n
  interface I18n {
    T(ja: string, en: string): string;
    apply(): void;
    setPreference(value: string): void;
    /** "ja" or "en" */
    readonly lang: string;
    readonly isJa: boolean;
    readonly preference: string;
  }

  // ------------------------------------------------------------------ bridge
  /** The first answer event of a request and its payload. */
  interface AnswerOf { event: string; payload: any }
  interface RequestChannelSpec {
    /** Events that answer a request of this kind. */
    answers: string[];
    /** Member carrying the request id both ways; absent for kinds whose answers carry none. */
    idField?: string;
    /** Prefix of the ids the channel makes. */
    idPrefix?: string;
    /** Default time-out; 0 or absent waits for ever (dialogs the user may keep open). */
    timeoutMs?: number;
  }
  interface RequestOptions {
    /** Reuse an id for a later step of the same exchange. */
    id?: string;
    timeoutMs?: number;
  }
  interface RequestChannel {
    request(send: object | ((id: string) => void), options?: RequestOptions): Promise<AnswerOf>;
    abandon(id?: string): void;
    pendingCount(): number;
  }
  interface PendingRequest {
    resolve: (answer: AnswerOf) => void;
    reject: (err: Error) => void;
    timer: ReturnType<typeof setTimeout> | null;
  }
  interface Bridge {
    readonly isHosted: boolean;
    post(message: object): void;
    on(event: string, listener: (payload: any) => void): void;
    emit(event: string, payload?: unknown): void;
    sendChunks(cmd: string, base64: string, extra?: object): void;
    sendImageChunks(cmd: string, dataUrl: string, format: string, request?: object): void;
    sendImageForSave(dataUrl: string, format: string, request?: object): void;
    makeRequestId(prefix: string): string;
    requestChannel(spec: RequestChannelSpec): RequestChannel;
  }

  // ------------------------------------------------------------------ layout
  interface PlaceAllOptions {
    w: number; h: number; scale?: string; density?: number; densityRaw?: number;
    noRepeat?: boolean; photoCount: number; starred?: number[]; emphasis?: string;
  }
  interface Layout {
    readonly FRAME: { side: number; top: number; bottom: number };
    readonly OUTER_W_RATIO: number;
    readonly OUTER_H_RATIO: number;
    grid(W: number, H: number, scale?: string, density?: number): Grid;
    generate(W: number, H: number, photoCount: number, scale?: string, density?: number): Placement[];
    scatter(W: number, H: number, count: number, scale?: string, overflow?: boolean, density?: number): Placement[];
    placeFeatured(W: number, H: number, count: number, scale?: string, emphasize?: number | boolean): Placement[];
    shuffle<T>(list: T[]): T[];
    buildAssignment(photoCount: number, tileCount: number): number[];
    featuredCountFor(scale: string): number;
    emphasisFactor(count: number, mode: string): number;
    coveringDensity(slider: unknown): number;
    scatterDensity(slider: unknown): number;
    placeAll(options: PlaceAllOptions): { placements: Placement[]; favourites: Placement[]; emphasisFactor: number };
    finalizeDrawList(placements: Placement[], favourites: Placement[], decoded: (photoIndex: number) => boolean,
      noRepeat: boolean): { drawList: Placement[]; favourites: Placement[]; spotlightIndex: number };
    restoreLayout(saved: unknown, W: number, H: number, photoCount: number): { placements: Placement[]; favourites: Placement[] };
    random(): number;
    useRandom(source: (() => number) | null): void;
  }

  // ------------------------------------------------------------------ album
  interface Album {
    readonly DEFAULT_CFG: AlbumCfg;
    readonly FACE_CACHE_MAX: number;
    cfgOf(raw: unknown): AlbumCfg;
    rateOf(speed: unknown): number;
    geometry(W: number, H: number, vTop?: number, vBottom?: number): { portrait: boolean; pageW: number; pageH: number; cx: number; cy: number };
    photosOnPage(cfg: AlbumCfg, geom: any): number;
    ledgerLayout(geom: any): Array<{ photo: Box; box: Box }>;
    cellRects(cfg: AlbumCfg, geom: any, feature: any, captionsOn: any): Array<{ x: number; y: number; side: number; w: number; h: number }>;
    albumPhotoIndices(data: PlayData): number[];
    starList(drawList: Placement[]): number[];
    paginate(indices: number[], perPage: number, portrait: boolean): any[];
    featureSpreads(stars: number[], portrait: boolean): any[];
    timing(n: number, speed: unknown, opts: any): AlbumTiming;
    sceneAt(t: number, tm: AlbumTiming): { phase: string; idx: number; prog: number };
    previewCellSide(albumCfg: AlbumCfg, w: number, h: number): number;
    printCellSide(albumCfg: AlbumCfg, pxW: number, pxH: number): number;
    easeTurn(p: number): number;
    ensureScene(data: PlayData, cfg: AlbumCfg, geom: any): any;
    dropScene(data: PlayData): void;
    getFace(data: PlayData, cfg: AlbumCfg, geom: any, i: number, name: string): any;
    drawScene(ctx: Ctx, data: PlayData, t: number, tm: Timing, backdrop?: { canvas: HTMLCanvasElement | OffscreenCanvas; version: number; run?: object }): void;
    photoIndicesAt(data: PlayData, t: number, tm: Timing, radius: number): number[];
    wrapComment(ctx: Ctx, text: string, maxW: number): string[];
    renderPrintPages(data: PlayData, pxW: number, pxH: number,
      onPage?: (canvas: HTMLCanvasElement, index: number) => any,
      photosFor?: (indices: number[]) => Promise<any[]>): Promise<number | any[]>;
    readonly PRINT_PAPERS: Readonly<Record<string, { w: number; h: number }>>;
    printPaper(...keys: unknown[]): { key: string; w: number; h: number };
    renderPdfSheets(data: PlayData, options: {
      paper: { w: number; h: number }; whiteBg?: boolean;
      loadPhotos: (indices: number[], side: number) => Promise<any[]>;
      onPhotos?: (done: number, total: number) => void;
      onPage: (canvas: HTMLCanvasElement, index: number) => any;
    }): Promise<number>;
    encodePdfSheet(canvas: HTMLCanvasElement): Promise<{ base64: string; widthPx: number; heightPx: number }>;
  }

  // ------------------------------------------------------------------ render
  interface Render {
    mulberry32(seed: number): () => number;
    tornTapePath(ctx: Ctx, tw: number, th: number, random: () => number): void;
    paintTape(ctx: Ctx, tw: number, th: number, random?: () => number, photoIndex?: number, pattern?: string, edgeWidth?: number): void;
    readonly TAPE_COLORS: readonly string[];
    readonly TAPE_PATTERNS: Readonly<Record<string, any>>;
    readonly TAPE_PATTERN_KEYS: readonly string[];
    drawOne(ctx: Ctx, p: Placement, bitmap: any, frame: string, filter: string, captionText?: string | null, captionCfg?: CaptionCfg | null): void;
    usableBitmap(image: unknown): boolean;
    photoInCell(ctx: Ctx, image: any, x: number, y: number, w: number, h: number, filterKey: string, mode: string): void;
    photoCellRect(image: any, x: number, y: number, w: number, h: number, mode: string): Box;
    ensureCaptionFont(key: unknown): Promise<void>;
    filteredSource(image: any, chain: string): CanvasImageSource;
    applyFilterChain(data: Uint8ClampedArray, chain: string): void;
    shade(color: string, f: number): string;
    colorToHex(color: unknown): string;
    fitText(ctx: Ctx, text: string, maxW: number): string;
    readonly PHOTO_FILTERS: Readonly<Record<string, any>>;
    /** The default print's paper, on which a photo's transparent parts show. */
    readonly PAPER: string;
    readonly BACKGROUNDS: Readonly<Record<string, any>>;
    paintBackground(ctx: Ctx, key: unknown, W: number, H: number): void;
    prepareBackground(key: unknown): Promise<void>;
    hasBackgroundImage(key: unknown): boolean;
    setCustomBackground(image: any): void;
    hasCustomBackground(): boolean;
    drawCover(ctx: Ctx, image: any, W: number, H: number, zoom?: number): void;
    readonly customBackgroundVersion: number;
    draw(canvas: Canvas, W: number, H: number, drawList: Placement[], bitmaps: any[], background: string, watermark: boolean,
      frame: string, filter: string, captions: string[] | null, captionCfg: CaptionCfg | null, imageTitleCfg: any,
      dimOthers: boolean, dimTranslucent: boolean): void;
    composeTitle(canvas: Canvas, baseCanvas: Canvas, imageTitleCfg: any): void;
    drawImageTitle(ctx: Ctx, W: number, H: number, cfg: any): void;
    resolveFontFamily(key: unknown): string;
    titleFontPrefix(style: unknown): string;
    hexLuminance(color: unknown): number;
    getTitleBox(): Box | null;
    canvasToBlob(canvas: HTMLCanvasElement, type?: string, quality?: number): Blob | null;
    normalizePlayData(raw: unknown): PlayData;
    decodeSideByPhoto(data: PlayData): Map<number, number>;
    drawAnimated(canvas: Canvas, data: PlayData, t: number, tm: Timing, run?: object): void;
    swayTransform(p: Placement, i: number, prog: number, W: number, H: number): any;
    titleAlpha(t: number, d: number): number;
    spotlightProgress(t: number, tm: Timing): number;
    backgroundLuminance(ctx: Ctx, background: string, W: number, H: number): number;
    readonly PAPER_EXIT: Readonly<Record<string, any>>;
    breezeSchedule(count: number, maxTotalMs?: number, pairSize?: number): any;
    paperFlightTransform(p: Placement, k: number, q: number, W: number, H: number, strength: string): any;
    gustProgress(k: number, n: number, t: number): number;
    breezeProgress(k: number, elapsedMs: number, schedule: any): number;
    drawBreeze(canvas: Canvas, data: PlayData, elapsedMs: number, schedule: any): void;
    drawGust(canvas: Canvas, data: PlayData, t: number): void;
    copyLayer(ctx: Ctx, layer: Canvas): void;
    copyArea(ctx: Ctx, layer: Canvas, area: Area): void;
    movedAreas(noted: readonly Area[], canvas: { width: number; height: number }): Area[];
  }

  // ------------------------------------------------------------------ photos
  interface PhotoItem {
    id: number;
    name: string;
    /** The photo's bytes, when the page holds them; null when the host serves them again at `fileUrl`. */
    blob: Blob | null;
    size: number;
    type: string;
    caption: string | null;
    memo?: string;
    thumbUrl: string;
    included: boolean;
    star: number;
    bitmap: Picture | null;
    bitmapBucket: number;
    /** "copied", "folder" or "memo" */
    origin: string;
    /** Where the host serves the photo's JPEG (also reduced, "?width=N"); null when only `blob` holds it. */
    sourceUrl: string | null;
    fileUrl: string | null;
  }
  interface AddCounts { added: number; skipped: number; overflow: number; lastError: string | null }
  interface MemoCounts { added: number; skipped: number; overflow: number }
  interface Photos {
    readonly MAX_PHOTOS: number;
    readonly FEATURED_MAX: number;
    readonly MEMO_MAX_LINES: number;
    readonly CODEC_HINT: string;
    /** The one list, in the user's order; never replaced. */
    readonly items: PhotoItem[];
    includedItems(): PhotoItem[];
    starredItems(): PhotoItem[];
    reduceForHandover(blob: Blob, side: number | undefined): Promise<{ base64: string; reduced: boolean }>;
    /** The bytes held, or the file fetched again from the host (fails when it is no longer served). */
    photoBytes(item: PhotoItem): Promise<Blob>;
    addBlobs(files: ArrayLike<File>, onProgress?: Progress): Promise<AddCounts>;
    addFromHost(baseUrl: string, names: string[], onProgress?: Progress, origin?: string,
      served?: { lasting?: boolean; sizes?: unknown[] }): Promise<AddCounts>;
    addMemoFiles(files: ArrayLike<File>): Promise<MemoCounts>;
    addMemosFromHost(baseUrl: string, names: string[]): Promise<MemoCounts>;
    splitMaterials(files: ArrayLike<File>): { photos: File[]; memos: File[]; others: File[] };
    collectDropped(transfer: DataTransfer, recursive: boolean): Promise<File[]>;
    toggle(id: number): PhotoItem | undefined;
    toggleStar(id: number): { changed: boolean; limit?: boolean };
    reorderStar(id: number, target: number): { changed: boolean; item?: PhotoItem };
    move(from: number, to: number): boolean;
    clear(): void;
    ensureBitmapsFor(indexes: number[], targetWidth: number, onProgress?: Progress,
      options?: { maxCached?: number; from?: PhotoItem[] }): Promise<Array<Picture | undefined>>;
    setMemo(id: number, text: string): boolean;
    effectiveMemo(item: PhotoItem): string | null;
    readExifCaption(bytes: ArrayBuffer | ArrayBufferView): string | null;
    makeSamplePhotos(count?: number): File[];
    memoLayout(cleaned: string): {
      heading: string; body: string[]; fit: number; leading: number; fontSize: number;
      ruleWidth: number; rules: number[]; baselines: number[];
    };
    _cleanMemoText(text: string): string;
    _memoBlob(text: string): Promise<Blob | null>;
  }

  // ------------------------------------------------------------------ video
  interface PlayControl { stop?: boolean; paused?: boolean; sleep?: boolean; rate?: number }
  interface Video {
    timing(n: number, speed: unknown, opts?: any): Timing;
    timingOf(data: PlayData): Timing;
    play(canvas: HTMLCanvasElement, data: PlayData, onProgress?: ((fraction: number) => void) | null,
      control?: PlayControl): Promise<{ cancelled: boolean; seconds: number }>;
    record(canvas: any, data: PlayData, onProgress?: (fraction: number) => void): Promise<{ blob: Blob; mime: string; seconds: number; frames: number }>;
  }

  // ------------------------------------------------------------------ ui (the controller)
  interface ConfirmOptions {
    title: string;
    message?: string;
    okLabel: string;
    onOk?: (text?: string) => void;
    secondLabel?: string;
    onSecond?: (text?: string) => void;
    input?: string | null;
    onCancel?: () => void;
  }
  interface ImportCounts { added: number; skipped: number; overflow: number; lastError?: string | null }
  /** The settings rules, pure and loadable without a document. */
  interface UiRules { [name: string]: any }
  interface Ui {
    rules: UiRules;
    toast(message: string, isError?: boolean): void;
    showConfirm(options: ConfirmOptions): void;
    setBusy(on: boolean, text?: string): void;
    deferredChip(text: string, delay?: number): { shown: boolean; progress(text: string): void; done(): void };
    refreshControls(): void;
    importFiles(files: ArrayLike<File>): Promise<void>;
    reportMaterialImport(photoResult: ImportCounts | null, memoResult: ImportCounts | null, otherCount: number, memoDeclined: number): void;
    rebuildThumbs(): void;
    regenerate(fixedLayout?: unknown): Promise<void>;
    scheduleRegenerate(): void;
    redrawCurrentVisual(): Promise<void>;
    scheduleTitleRedraw(): void;
    restorePreview(): Promise<void>;
    setUnsavedResult(value: boolean): void;
    buildVideoData(): PlayData;
    attachAlbumFrameLoader(data: PlayData, onProgress?: Progress): PlayData;
    renderAlbumPrintPages(whiteBg: boolean, onPage: (canvas: HTMLCanvasElement, index: number) => unknown,
      paper?: string): Promise<number>;
    saveImage(options?: { exitAfter?: boolean }): Promise<void>;
    stopPlayback(): Promise<void>;
    setMode(mode: 'scatter' | 'album'): void;
    gotoAlbumSpread(idx: number): Promise<void>;
    albumSpreadCount(): number;
    currentPreset(): { id: string; w: number; h: number };
    currentImageTitleCfg(): any;
    currentAlbumCfg(): AlbumCfg;
    isBusy(): boolean;
    hasResult(): boolean;
    isPlaying(): boolean;
    generationId(): number;
    lastVisual(): any;
    albumPosition(): number;
    albumTurn(): Promise<void> | null;
    /** Hands the result over to the live wallpaper (`replace` a running one), or only commits it for a package. */
    startLiveWallpaper(opts?: { replace?: boolean; handoffOnly?: boolean }): Promise<boolean>;
    /** The live wallpaper's state as the host last reported it. */
    liveState(): 'stopped' | 'running' | 'paused' | 'starting';
    /** A hand-over is being sent or its answer awaited. */
    liveTransferring(): boolean;
  }

  // ------------------------------------------------------------------ wallpaper (player page)
  interface WallpaperPlayerState {
    phase: 'idle' | 'preparing' | 'playing' | 'resting' | 'exiting' | 'fading' | 'ended';
    phaseSince: number; running: boolean; generation: number; cycle: number; variant: number;
    asleep: boolean; paused: boolean; photos: number; decodedPixels: number; framesDrawn: number;
  }
  interface Wallpaper {
    readonly GUST_DURATION_MS: number;
    readonly BREEZE_MAX_TOTAL_MS: number;
    readonly BREEZE_PAIR_SIZE: number;
    readonly FADE_WAIT_MS: number;
    start(payload: any): Promise<void>;
    stop(): void;
    command(cmd: any): void;
    fitPlacements(data: any): any;
    restMs(holdSec: unknown): number;
    readonly state: WallpaperPlayerState;
  }
}
