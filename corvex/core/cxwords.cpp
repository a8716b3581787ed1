#include "corvex/core/cxwords.h"

#include <cstdlib>
#include <cstring>

namespace corvex {

std::array<std::array<std::string, kMsgWordCount>, kMsgLanguageCount> cxMessages;

namespace {

// Built-in texts of msEnglish .. msRussian, in word order.
const char* const kBuiltin[8][kMsgWordCount] = {
    {// English
     "Preview", "Source", "Result", "OK", "Cancel", "Lock preview", "Copy Result to Source",
     "Contrast", "Brightness", "Hue", "Saturation", "Value", "Base color", "New color",
     "Luminosity", "Red", "Green", "Blue", "Filter values", "Presets", "Divisor", "Load", "Save",
     "Equalization", "Threshold", "Equalize", "Histogram", "Gray", "Light", "Left", "Top",
     "Width", "Height", "Color", "Source image quantity", "Lens", "Refraction",
     "Parameters Preview", "Quality", "DCT method", "Smoothing factor", "Gray scale",
     "Optimal Huffman", "Original size", "Compressed size", "Advanced", "Progressive",
     "Compression", "Image index", "Photometric", "Scanned document info", "Name", "Description",
     "Page name", "Page number", "of", "Horiz. Position (inch)", "Vert. Position (inch)",
     "Colors", "Transparent", "Transparent color", "Interlaced", "Background", "Horiz. Position",
     "Vert. Position", "Delay time", "Filter", "Wave", "Amplitude", "Wave length", "Phase",
     "Reflective", "User filter", "Morphing filters", "Window size", "Maximum", "Minimum",
     "Opening", "Closing", "Rotate", "Flip", "Horizontal", "Vertical", "Frequency domain image",
     "Select the region to clean", "Clear", "Reset"},
    {// Italian
     "Anteprima", "Sorgente", "Risultato", "OK", "Annulla", "Blocca anteprima",
     "Copia risultato su sorgente", "Contrasto", "Luminosità", "Tinta", "Saturazione", "Valore",
     "Colore base", "Nuovo colore", "Luminanza", "Rosso", "Verde", "Blu", "Valori del filtro",
     "Predefiniti", "Divisore", "Carica", "Salva", "Equalizzazione", "Soglia", "Equalizza",
     "Istogramma", "Grigio", "Luce", "Sinistra", "Alto", "Larghezza", "Altezza", "Colore",
     "Quantità immagine sorgente", "Lente", "Rifrazione", "Anteprima parametri", "Qualità",
     "Metodo DCT", "Fattore di smussatura", "Scala di grigi", "Huffman ottimizzato",
     "Dimensione originale", "Dimensione compressa", "Avanzate", "Progressivo", "Compressione",
     "Indice immagine", "Fotometria", "Informazioni documento acquisito", "Nome", "Descrizione",
     "Nome pagina", "Numero pagina", "di", "Posizione oriz. (pollici)",
     "Posizione vert. (pollici)", "Colori", "Trasparente", "Colore trasparente", "Interlacciato",
     "Sfondo", "Posizione oriz.", "Posizione vert.", "Ritardo", "Filtro", "Onda", "Ampiezza",
     "Lunghezza d'onda", "Fase", "Riflessione", "Filtro utente", "Filtri morfologici",
     "Dimensione finestra", "Massimo", "Minimo", "Apertura", "Chiusura", "Ruota", "Capovolgi",
     "Orizzontale", "Verticale", "Immagine nel dominio della frequenza",
     "Seleziona la regione da pulire", "Pulisci", "Ripristina"},
    {// German
     "Vorschau", "Quelle", "Ergebnis", "OK", "Abbrechen", "Vorschau sperren",
     "Ergebnis in Quelle kopieren", "Kontrast", "Helligkeit", "Farbton", "Sättigung", "Wert",
     "Grundfarbe", "Neue Farbe", "Luminanz", "Rot", "Grün", "Blau", "Filterwerte", "Vorgaben",
     "Teiler", "Laden", "Speichern", "Ausgleich", "Schwellenwert", "Ausgleichen", "Histogramm",
     "Grau", "Licht", "Links", "Oben", "Breite", "Höhe", "Farbe", "Anteil des Quellbildes",
     "Linse", "Brechung", "Parametervorschau", "Qualität", "DCT-Verfahren", "Glättungsfaktor",
     "Graustufen", "Optimaler Huffman", "Originalgröße", "Komprimierte Größe", "Erweitert",
     "Progressiv", "Kompression", "Bildindex", "Photometrie", "Angaben zum gescannten Dokument",
     "Name", "Beschreibung", "Seitenname", "Seitennummer", "von", "Horiz. Position (Zoll)",
     "Vert. Position (Zoll)", "Farben", "Transparent", "Transparente Farbe", "Zeilensprung",
     "Hintergrund", "Horiz. Position", "Vert. Position", "Verzögerung", "Filter", "Welle",
     "Amplitude", "Wellenlänge", "Phase", "Spiegelnd", "Benutzerfilter", "Morphologische Filter",
     "Fenstergröße", "Maximum", "Minimum", "Öffnen", "Schließen", "Drehen", "Spiegeln",
     "Horizontal", "Vertikal", "Bild im Frequenzbereich", "Zu bereinigenden Bereich wählen",
     "Löschen", "Zurücksetzen"},
    {// Spanish
     "Vista previa", "Origen", "Resultado", "Aceptar", "Cancelar", "Bloquear vista previa",
     "Copiar resultado en origen", "Contraste", "Brillo", "Tono", "Saturación", "Valor",
     "Color base", "Color nuevo", "Luminosidad", "Rojo", "Verde", "Azul", "Valores del filtro",
     "Predefinidos", "Divisor", "Cargar", "Guardar", "Ecualización", "Umbral", "Ecualizar",
     "Histograma", "Gris", "Luz", "Izquierda", "Arriba", "Ancho", "Alto", "Color",
     "Cantidad de imagen de origen", "Lente", "Refracción", "Vista previa de parámetros",
     "Calidad", "Método DCT", "Factor de suavizado", "Escala de grises", "Huffman óptimo",
     "Tamaño original", "Tamaño comprimido", "Avanzado", "Progresivo", "Compresión",
     "Índice de imagen", "Fotometría", "Información del documento escaneado", "Nombre",
     "Descripción", "Nombre de página", "Número de página", "de", "Posición horiz. (pulgadas)",
     "Posición vert. (pulgadas)", "Colores", "Transparente", "Color transparente", "Entrelazado",
     "Fondo", "Posición horiz.", "Posición vert.", "Retardo", "Filtro", "Onda", "Amplitud",
     "Longitud de onda", "Fase", "Reflejo", "Filtro de usuario", "Filtros morfológicos",
     "Tamaño de ventana", "Máximo", "Mínimo", "Apertura", "Cierre", "Girar", "Voltear",
     "Horizontal", "Vertical", "Imagen en el dominio de la frecuencia",
     "Seleccione la región a limpiar", "Borrar", "Restablecer"},
    {// French
     "Aperçu", "Source", "Résultat", "OK", "Annuler", "Verrouiller l'aperçu",
     "Copier le résultat vers la source", "Contraste", "Luminosité", "Teinte", "Saturation",
     "Valeur", "Couleur de base", "Nouvelle couleur", "Luminance", "Rouge", "Vert", "Bleu",
     "Valeurs du filtre", "Préréglages", "Diviseur", "Charger", "Enregistrer", "Égalisation",
     "Seuil", "Égaliser", "Histogramme", "Gris", "Lumière", "Gauche", "Haut", "Largeur",
     "Hauteur", "Couleur", "Quantité d'image source", "Lentille", "Réfraction",
     "Aperçu des paramètres", "Qualité", "Méthode DCT", "Facteur de lissage", "Niveaux de gris",
     "Huffman optimal", "Taille d'origine", "Taille compressée", "Avancé", "Progressif",
     "Compression", "Index de l'image", "Photométrie", "Informations sur le document numérisé",
     "Nom", "Description", "Nom de la page", "Numéro de page", "sur", "Position horiz. (pouces)",
     "Position vert. (pouces)", "Couleurs", "Transparent", "Couleur transparente", "Entrelacé",
     "Arrière-plan", "Position horiz.", "Position vert.", "Délai", "Filtre", "Onde", "Amplitude",
     "Longueur d'onde", "Phase", "Réfléchissant", "Filtre utilisateur", "Filtres morphologiques",
     "Taille de la fenêtre", "Maximum", "Minimum", "Ouverture", "Fermeture", "Rotation",
     "Retourner", "Horizontal", "Vertical", "Image dans le domaine fréquentiel",
     "Sélectionnez la zone à nettoyer", "Effacer", "Réinitialiser"},
    {// Portuguese
     "Visualizar", "Origem", "Resultado", "OK", "Cancelar", "Bloquear visualização",
     "Copiar resultado para origem", "Contraste", "Brilho", "Matiz", "Saturação", "Valor",
     "Cor base", "Nova cor", "Luminosidade", "Vermelho", "Verde", "Azul", "Valores do filtro",
     "Predefinições", "Divisor", "Carregar", "Salvar", "Equalização", "Limiar", "Equalizar",
     "Histograma", "Cinza", "Luz", "Esquerda", "Topo", "Largura", "Altura", "Cor",
     "Quantidade da imagem de origem", "Lente", "Refração", "Visualização dos parâmetros",
     "Qualidade", "Método DCT", "Fator de suavização", "Escala de cinza", "Huffman otimizado",
     "Tamanho original", "Tamanho comprimido", "Avançado", "Progressivo", "Compressão",
     "Índice da imagem", "Fotometria", "Informações do documento digitalizado", "Nome",
     "Descrição", "Nome da página", "Número da página", "de", "Posição horiz. (polegadas)",
     "Posição vert. (polegadas)", "Cores", "Transparente", "Cor transparente", "Entrelaçado",
     "Fundo", "Posição horiz.", "Posição vert.", "Atraso", "Filtro", "Onda", "Amplitude",
     "Comprimento de onda", "Fase", "Reflexivo", "Filtro do usuário", "Filtros morfológicos",
     "Tamanho da janela", "Máximo", "Mínimo", "Abertura", "Fechamento", "Girar", "Espelhar",
     "Horizontal", "Vertical", "Imagem no domínio da frequência",
     "Selecione a região a limpar", "Limpar", "Redefinir"},
    {// Greek
     "Προεπισκόπηση", "Πηγή", "Αποτέλεσμα", "OK", "Άκυρο", "Κλείδωμα προεπισκόπησης",
     "Αντιγραφή αποτελέσματος στην πηγή", "Αντίθεση", "Φωτεινότητα", "Απόχρωση", "Κορεσμός",
     "Τιμή", "Βασικό χρώμα", "Νέο χρώμα", "Λαμπρότητα", "Κόκκινο", "Πράσινο", "Μπλε",
     "Τιμές φίλτρου", "Προκαθορισμένα", "Διαιρέτης", "Φόρτωση", "Αποθήκευση", "Εξισορρόπηση",
     "Κατώφλι", "Εξισορρόπησε", "Ιστόγραμμα", "Γκρι", "Φως", "Αριστερά", "Πάνω", "Πλάτος",
     "Ύψος", "Χρώμα", "Ποσότητα εικόνας πηγής", "Φακός", "Διάθλαση",
     "Προεπισκόπηση παραμέτρων", "Ποιότητα", "Μέθοδος DCT", "Συντελεστής εξομάλυνσης",
     "Κλίμακα του γκρι", "Βέλτιστο Huffman", "Αρχικό μέγεθος", "Συμπιεσμένο μέγεθος",
     "Για προχωρημένους", "Προοδευτικό", "Συμπίεση", "Δείκτης εικόνας", "Φωτομετρία",
     "Πληροφορίες σαρωμένου εγγράφου", "Όνομα", "Περιγραφή", "Όνομα σελίδας",
     "Αριθμός σελίδας", "από", "Οριζ. θέση (ίντσες)", "Κατακ. θέση (ίντσες)", "Χρώματα",
     "Διαφανές", "Διαφανές χρώμα", "Πεπλεγμένο", "Φόντο", "Οριζ. θέση", "Κατακ. θέση",
     "Χρόνος καθυστέρησης", "Φίλτρο", "Κύμα", "Εύρος", "Μήκος κύματος", "Φάση", "Ανακλαστικό",
     "Φίλτρο χρήστη", "Μορφολογικά φίλτρα", "Μέγεθος παραθύρου", "Μέγιστο", "Ελάχιστο",
     "Άνοιγμα", "Κλείσιμο", "Περιστροφή", "Αναστροφή", "Οριζόντια", "Κατακόρυφα",
     "Εικόνα στο πεδίο συχνοτήτων", "Επιλέξτε την περιοχή για καθαρισμό", "Καθαρισμός",
     "Επαναφορά"},
    {// Russian
     "Просмотр", "Источник", "Результат", "OK", "Отмена", "Зафиксировать просмотр",
     "Копировать результат в источник", "Контраст", "Яркость", "Оттенок", "Насыщенность",
     "Значение", "Основной цвет", "Новый цвет", "Светимость", "Красный", "Зелёный", "Синий",
     "Значения фильтра", "Предустановки", "Делитель", "Загрузить", "Сохранить", "Выравнивание",
     "Порог", "Выровнять", "Гистограмма", "Серый", "Свет", "Слева", "Сверху", "Ширина",
     "Высота", "Цвет", "Доля исходного изображения", "Линза", "Преломление",
     "Просмотр параметров", "Качество", "Метод DCT", "Коэффициент сглаживания",
     "Оттенки серого", "Оптимальный Хаффман", "Исходный размер", "Размер после сжатия",
     "Дополнительно", "Прогрессивный", "Сжатие", "Номер изображения", "Фотометрия",
     "Сведения о сканированном документе", "Имя", "Описание", "Имя страницы", "Номер страницы",
     "из", "Гориз. позиция (дюймы)", "Верт. позиция (дюймы)", "Цвета", "Прозрачный",
     "Прозрачный цвет", "Чересстрочный", "Фон", "Гориз. позиция", "Верт. позиция", "Задержка",
     "Фильтр", "Волна", "Амплитуда", "Длина волны", "Фаза", "Отражение",
     "Пользовательский фильтр", "Морфологические фильтры", "Размер окна", "Максимум", "Минимум",
     "Размыкание", "Замыкание", "Повернуть", "Отразить", "По горизонтали", "По вертикали",
     "Изображение в частотной области", "Выберите область для очистки", "Очистить", "Сбросить"},
};

bool ValidWord(int w) { return w >= 0 && w < kMsgWordCount; }
bool ValidLanguage(int l) { return l >= msEnglish && l <= msUser; }

// Fills the table when the library is loaded.
const bool kDefaultsLoaded = (CXSetDefaultTranslationWords(), true);

}  // namespace

void CXSetDefaultTranslationWords() {
  for (int l = 0; l < 8; ++l)
    for (int w = 0; w < kMsgWordCount; ++w) cxMessages[size_t(l)][size_t(w)] = kBuiltin[l][w];
  for (auto& entry : cxMessages[msUser - msEnglish]) entry.clear();
}

void CXSetTranslationWord(TMsgLanguage Language, TMsgLanguageWords Word, const std::string& Text) {
  if (!ValidLanguage(Language) || !ValidWord(Word)) return;
  cxMessages[size_t(Language - msEnglish)][size_t(Word)] = Text;
}

TMsgLanguage CXSystemLanguage() {
  // The locale variables in the order the C library consults them for messages.
  const char* locale = nullptr;
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v != nullptr && *v != '\0') {
      locale = v;
      break;
    }
  }
  if (locale == nullptr) return msEnglish;
  const size_t n = std::strcspn(locale, "_.@");
  const std::string lang(locale, n);
  if (lang == "de") return msGerman;
  if (lang == "el") return msGreek;
  if (lang == "es") return msSpanish;
  if (lang == "fr") return msFrench;
  if (lang == "it") return msItalian;
  if (lang == "pt") return msPortuguese;
  if (lang == "ru") return msRussian;
  return msEnglish;
}

std::string cxmsg(TMsgLanguageWords Word, TMsgLanguage Language) {
  (void)kDefaultsLoaded;
  if (!ValidWord(Word)) return {};
  const auto& english = cxMessages[0][size_t(Word)];
  if (Language == msSystem) {
    const TMsgLanguage sys = CXSystemLanguage();
    return cxMessages[size_t(sys - msEnglish)][size_t(Word)];
  }
  if (!ValidLanguage(Language)) return english;
  const auto& entry = cxMessages[size_t(Language - msEnglish)][size_t(Word)];
  return entry.empty() ? english : entry;
}

}  // namespace corvex
