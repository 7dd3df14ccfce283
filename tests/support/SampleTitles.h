#pragma once

#include <QStringList>

// Eighteen song titles of the length real discs have, for what the user must read whole:
// the track list after titles were applied, the chooser's preview.
inline QStringList realLengthTitles()
{
    return {QStringLiteral("Les Lumières de la ville endormie"),
            QStringLiteral("Quand tu reviendras au printemps"),
            QStringLiteral("La Chanson du vieux port de Marseille"),
            QStringLiteral("Un dimanche après-midi sur les quais"),
            QStringLiteral("Mon cœur bat encore pour toi"),
            QStringLiteral("Les Cerisiers de la rue Lepic"),
            QStringLiteral("Valse pour une nuit sans étoiles"),
            QStringLiteral("Rendez-vous sous le pont des Arts"),
            QStringLiteral("L'Hiver n'en finit plus de finir"),
            QStringLiteral("Tout ce que je n'ai jamais osé te dire"),
            QStringLiteral("Petite bergère des champs de lavande"),
            QStringLiteral("Le Bal des pompiers du 14 juillet"),
            QStringLiteral("Je t'attendrai à la gare de Lyon"),
            QStringLiteral("Les Enfants du boulevard Saint-Michel"),
            QStringLiteral("Ballade pour une guitare et un accordéon"),
            QStringLiteral("Si tu savais comme la mer est belle ce soir"),
            QStringLiteral("Berceuse pour s'endormir sans y penser"),
            QStringLiteral("Adieu mon pays, adieu ma jeunesse (version longue)")};
}
